// Card identification and configuration by the driver, and the whole socket set-up, against
// the controller model with cards from the catalogue and cards built for the case.
#include "ScsiMiniPort/socket/card_identify.h"
#include "ScsiMiniPort/socket/card_setup.h"
#include "ScsiMiniPort/socket/pcic365.h"
#include "socket_rig.h"

namespace orvo::socket_test {
namespace {

// A version-1 tuple whose link ends right after "SCSI2 CARD 47", before its NUL: what lies
// beyond the body must not complete the match.
pcmcia::CardModel cut_short_card47() {
    const std::string strings = std::string("KELMAR System Inc.") + '\0' + "SCSI2 CARD 47";
    std::vector<std::uint8_t> body(2 + strings.size());
    body[0] = 0x04;
    body[1] = 0x01;
    for (std::size_t i = 0; i < strings.size(); ++i) body[2 + i] = static_cast<std::uint8_t>(strings[i]);
    std::vector<std::uint8_t> cis = pcmcia::CisBuilder().add(pcmcia::tuple::kVers1, body).bytes();
    cis.push_back(0x00);  // the next tuple's code: a NUL right where the string's would be
    cis.push_back(0x00);
    return {"cut", cis, std::nullopt};
}

struct Identification : SocketRig {
    void SetUp() override {
        SocketRig::SetUp();
        add_controller({0x3E0, 1, 0x83});
    }
    // Identifies the card in socket 0 after powering it with the window open.
    std::pair<ULONG, ULONG> identify() {
        ad.CorOffset = 0x400;  // left from an earlier attempt: cleared by every identification
        ad.ConfigIndex = 0x60;
        ULONG type = 99;
        const ULONG result = call([&] {
            SetupReg365(&ad, 0);
            pcmcia_init(&ad, kWindowAddress);
            return orvo61x_check(&ad, window(), &type);
        });
        EXPECT_EQ(ad.CorOffset, 0u);
        EXPECT_EQ(ad.ConfigIndex, 0u);
        return {result, type};
    }
};

TEST_F(Identification, EachKnownCardIsRecognisedWithItsType) {
    const std::pair<const char*, ULONG> cards[] = {
        {"qtv601", CARD_TYPE_QTV601}, {"qtv604", CARD_TYPE_QTV604}, {"card230", CARD_TYPE_CARD230},
        {"card210", CARD_TYPE_CARD210}, {"card47", CARD_TYPE_CARD47}, {"woxra2", CARD_TYPE_CARD47},
        {"orvo88", CARD_TYPE_SOUND_SCSI},
    };
    for (const auto& [name, type] : cards) {
        insert(0, name);
        EXPECT_EQ(identify(), std::make_pair(0u, type)) << name;
        controller->remove_card(0);
    }
}

TEST_F(Identification, NearMissesEmptySocketsAndCardsWithoutVersionStringsAreNotRecognised) {
    struct Case {
        const char* what;
        std::optional<pcmcia::CardModel> card;
    };
    using pcmcia::CisBuilder;
    const Case cases[] = {
        {"a longer product string", pcmcia::CardModel{"x", CisBuilder().vers_1({"KELMAR System Inc.", "SOUND/SCSI2 CARD 88X"}).end().bytes(), std::nullopt}},
        {"the maker only", pcmcia::CardModel{"x", CisBuilder().vers_1({"KELMAR System Inc."}).end().bytes(), std::nullopt}},
        {"no version tuple", pcmcia::CardModel{"x", CisBuilder().add(0x01, {0, 0, 0xFF}).add(0x20, {1, 2, 3, 4}).end().bytes(), std::nullopt}},
        {"the last string cut short of its NUL by the tuple's link", cut_short_card47()},
        {"an empty socket", std::nullopt},
    };
    for (const Case& c : cases) {
        if (c.card) insert(0, *c.card);
        EXPECT_EQ(identify(), std::make_pair(1u, 0u)) << c.what;
        if (c.card) controller->remove_card(0);
    }
}

struct Configuration : SocketRig {
    pcmcia::PcCard* card = nullptr;
    void SetUp() override {
        SocketRig::SetUp();
        add_controller({0x3E0, 1, 0x83});
        card = &insert(0, "orvo88");
        call([&] {
            SetupReg365(&ad, 0);
            pcmcia_init(&ad, kWindowAddress);
        });
    }
};

TEST_F(Configuration, TheIoWindowCoversThirtyTwoPortsFromTheBase) {
    const Lines ops = register_ops(accesses([&] { request_io(&ad, 0x280); }));
    EXPECT_EQ(ops, (Lines{"W09=02", "W08=80", "W0b=02", "W0a=9f", "R06=01", "W06=41", "W07=bb"}));
    const auto w = socket(0).io_window(0);
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(w->first, 0x280);
    EXPECT_EQ(w->last, 0x29F);
}

TEST_F(Configuration, TheIrqGoesIntoTheLowNibbleAndAnIrqAbove15IsRefused) {
    for (ULONG irq : {5u, 10u, 15u}) {
        EXPECT_EQ(call([&] { return request_irq(&ad, irq); }), 0u);
        EXPECT_EQ(socket(0).reg(0x03), 0x60 | irq) << "reset released and I/O mode kept";
    }
    const Lines ops = register_ops(accesses([&] { EXPECT_NE(request_irq(&ad, 16), 0u); }));
    EXPECT_TRUE(ops.empty()) << "nothing written";
    EXPECT_EQ(socket(0).state(), pcmcia::SocketState::Running);
}

TEST_F(Configuration, TheConfigurationValueFollowsTheBaseAndTheCardAnswersAtItsPorts) {
    struct Case {
        ULONG base;
        LONG result;
        UCHAR cor;
        std::optional<std::uint16_t> chip;
    };
    const Case cases[] = {
        {0x140, 0, 0x60, 0x150}, {0x180, 0, 0x60, 0x190}, {0x260, 0, 0x60, 0x270}, {0x270, 0, 0x61, 0x280},
        {0x280, 0, 0x60, 0x290}, {0x290, 0, 0x61, 0x2A0}, {0x300, 0, 0x60, 0x310}, {0x320, 0, 0x60, 0x330},
        {0x330, 0, 0x61, 0x340}, {0x2A0, -2, 0x00, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.base);
        card->reset();
        ad.ConfigIndex = 0;
        call([&] { request_io(&ad, c.base); });
        EXPECT_EQ(call([&] { return request_configuration(&ad, window(), c.base, CARD_TYPE_SOUND_SCSI); }), c.result);
        EXPECT_EQ(ad.CorOffset, 0x400u);
        EXPECT_EQ(ad.ConfigIndex, c.cor);
        call([&] { pcmcia_mw_close(&ad); });  // the window closes: the card has its registers
        EXPECT_EQ(card->cor(), c.cor);
        EXPECT_EQ(card->csr(), 0x00);
        EXPECT_EQ(card->function_placed(), c.chip) << "the chip at I/O base + 0x10";
        call([&] { write_register_365(&ad, 0x06, 0x01); });  // reopen the window for the next case
    }
    EXPECT_EQ(call([&] { return request_configuration(&ad, window(), 0x280, CARD_TYPE_CARD47); }), -1);
}

struct WholeSetUp : SocketRig {
    LONG setup(ULONG pcic_port = 0, ULONG io_base = 0x280, ULONG irq = 5) {
        return call([&] { return SetupCard365(&ad, kWindowAddress, window(), pcic_port, io_base, irq); });
    }
};

TEST_F(WholeSetUp, TheSoundScsiCardBehindACardOfAnotherTypeIsConfiguredInItsSocket) {
    add_controller({0x3E0, 2, 0x83});
    pcmcia::PcCard& other = insert(0, "card47");
    pcmcia::PcCard& orvo = insert(1, "orvo88");
    window()[0x800] = 0x77;  // the system's own memory where the window goes
    EXPECT_EQ(setup(0, 0x300, 10), 0);
    EXPECT_EQ(ad.PcicSocket, 1u);
    EXPECT_EQ(orvo.cor(), 0x60);
    EXPECT_EQ(orvo.function_placed(), std::optional<std::uint16_t>(0x310));
    EXPECT_EQ(socket(1).irq(), 10);
    EXPECT_EQ(other.cor(), 0x00);
    // Socket 0 was passed over: powered, window closed; both windows closed at the end.
    EXPECT_EQ(socket(0).state(), pcmcia::SocketState::Running);
    EXPECT_FALSE(socket(0).memory_window().has_value());
    EXPECT_FALSE(socket(1).memory_window().has_value());
    EXPECT_EQ(window()[0x800], 0x77);
}

TEST_F(WholeSetUp, FailuresLeaveTheSocketsAsFarAsTheSetUpGot) {
    // No controller: nothing is touched but the search.
    EXPECT_EQ(setup(), -1);

    // No Sound/SCSI card: every socket tried stays powered with its window closed.
    add_controller({0x3E0, 2, 0x83});
    insert(0, "qtv601");
    EXPECT_EQ(setup(), -1);
    for (unsigned s : {0u, 1u}) {
        EXPECT_EQ(socket(s).reg(0x02), 0xF0) << "socket " << s << " powered, even when empty";
        EXPECT_FALSE(socket(s).memory_window().has_value());
    }
}

TEST_F(WholeSetUp, ABaseOutsideTheTableOrABadIrqFailsWithTheWindowOpenAndTheCardUnconfigured) {
    add_controller({0x3E0, 1, 0x83});
    pcmcia::PcCard& orvo = insert(0, "orvo88");
    EXPECT_EQ(setup(0, 0x2A0, 5), -1);
    EXPECT_EQ(socket(0).io_window(0)->first, 0x2A0) << "the I/O window was programmed";
    EXPECT_EQ(socket(0).irq(), 5) << "and the IRQ";
    EXPECT_TRUE(socket(0).memory_window().has_value());
    EXPECT_FALSE(orvo.configured());

    EXPECT_EQ(setup(0, 0x280, 16), -1);
    EXPECT_EQ(socket(0).irq(), 5) << "IRQ 16 is not written";
    EXPECT_EQ(socket(0).state(), pcmcia::SocketState::Running) << "the card is not held in reset";
    EXPECT_FALSE(orvo.configured());
}

} // namespace
} // namespace orvo::socket_test
