#include "app/dialogs/dialog_prompts.h"

#include "resources/resource.h"

namespace su {

bool DialogPrompts::ConfirmReplace() {
  return ShowMessage(nullptr, IDS_ALREADY_EXIST, BoxKind::YesNo) != kAnswerNo;
}

void DialogPrompts::NoRoom(int message) { ShowMessage(nullptr, message, BoxKind::Warning); }

void DialogPrompts::DeletingBegins() { deleting_ = std::make_unique<DeletingBox>(dialog_); }

void DialogPrompts::DeletingEnds() { deleting_.reset(); }

void DialogPrompts::SendingBegins() {
  if (disableWhileSending_) TheDialogScreen().EnableControl(dialog_, kWholeWindow, false);
}

void DialogPrompts::SendingEnds() {
  if (disableWhileSending_) TheDialogScreen().EnableControl(dialog_, kWholeWindow, true);
}

}  // namespace su
