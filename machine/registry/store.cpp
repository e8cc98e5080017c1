#include "machine/registry/store.h"

#include "machine/registry/file_io.h"
#include "machine/registry/reg_file_format.h"

#include <cerrno>
#include <sys/stat.h>
#include <system_error>

namespace orvo::registry {

Store::FileIdentity Store::identity_on_disk() const {
    struct stat st {};
    if (::stat(file_.c_str(), &st) != 0) {
        if (errno == ENOENT) return {};
        throw StoreError(StoreError::Kind::Io, "cannot examine " + file_.string() + ": " +
                                                   std::generic_category().message(errno));
    }
    auto ns = [](const timespec& t) { return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; };
    return {true,
            static_cast<std::uint64_t>(st.st_dev),
            static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size),
            ns(st.st_mtim),
            ns(st.st_ctim)};
}

// The identity is taken before the read: should the file be replaced in between, the next
// refresh sees a different identity and reads again, so stale content is never kept.
void Store::refresh() {
    if (file_.empty()) return;
    FileIdentity identity = identity_on_disk();
    if (loaded_ && *loaded_ == identity) return;
    loaded_.reset();
    std::optional<std::string> content;
    try {
        content = read_file_if_exists(file_);
    } catch (const std::system_error& e) {
        throw StoreError(StoreError::Kind::Io, e.what());
    }
    if (!content) {
        tree_ = Tree();
    } else {
        try {
            tree_ = parse_reg_file(*content);
        } catch (const RegFileSyntaxError& e) {
            tree_ = Tree();
            throw StoreError(StoreError::Kind::Corrupt,
                             file_.string() + ":" + std::to_string(e.line()) + ": " + e.reason() +
                                 " (the file is left as it is)");
        }
    }
    loaded_ = identity;
}

const Tree& Store::tree() {
    refresh();
    return tree_;
}

void Store::modify(const std::function<bool(Tree&)>& change) {
    if (file_.empty()) {
        Tree working(tree_);
        if (change(working)) tree_ = std::move(working);
        return;
    }
    std::optional<ExclusiveFileLock> lock;
    try {
        lock.emplace(file_.string() + ".lock");
    } catch (const std::system_error& e) {
        throw StoreError(StoreError::Kind::Io, e.what());
    }
    remove_stale_temporaries(file_);
    refresh();
    Tree working(tree_);
    if (!change(working)) return;
    try {
        write_file_atomically(file_, format_reg_file(working), write_faults_);
    } catch (const std::system_error& e) {
        throw StoreError(StoreError::Kind::Io, e.what());
    }
    tree_ = std::move(working);
    loaded_ = identity_on_disk();
}

} // namespace orvo::registry
