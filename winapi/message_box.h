#pragma once
// MessageBoxA and the seam behind it. Boxes are shown by a presenter: the terminal front end
// installs one that draws the box; until then, and in tests, a recording stand-in keeps every
// call and answers as a user pressing Enter would (the box's default button).

#include "winapi/win32_types.h"

#include <deque>
#include <string>
#include <vector>

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

namespace orvo::winapi {

struct MessageBoxCall {
    std::string text;
    std::string caption;
    UINT style = MB_OK;
    bool operator==(const MessageBoxCall&) const = default;
};

class MessageBoxPresenter {
  public:
    virtual ~MessageBoxPresenter() = default;
    // Shows the box and returns the id of the button chosen (IDOK, IDYES, ...).
    virtual int show(HWND owner, const MessageBoxCall& call) = 0;
};

// The button a user gets by pressing Enter: the default button given by the style's
// MB_DEFBUTTONn among the buttons of its MB_ type.
int default_button(UINT style);

class RecordingMessageBoxes : public MessageBoxPresenter {
  public:
    int show(HWND owner, const MessageBoxCall& call) override;
    // Answers for the next boxes, in order; once used up, boxes get their default button.
    void queue_answer(int button) { answers_.push_back(button); }
    const std::vector<MessageBoxCall>& calls() const { return calls_; }

  private:
    std::vector<MessageBoxCall> calls_;
    std::deque<int> answers_;
};

} // namespace orvo::winapi
