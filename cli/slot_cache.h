// The slots a keyboard has, remembered per user and per port choice for shell completion: TAB after --slot
// offers them without a word to the keyboard (a search takes seconds when nothing answers, and would talk
// into a send another terminal is running).
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "cli/options.h"

namespace su::cli {

// Where the remembered slots are kept: $XDG_CACHE_HOME/songuploader/slots, else ~/.cache/songuploader/slots
// ("" when neither is known).
std::string SlotCacheFile();

// The port choices of the cache text `earlier` that stay when the choice `key` ("API<TAB>IN<TAB>OUT<TAB>") is
// remembered anew: every non-empty line but that choice's, the oldest dropped so that at most 15 remain
// beside it.
std::vector<std::string> ChoicesKept(std::istream& earlier, const std::string& key);

// Remembers `labels` for the ports `options` name, as the completion script looks them up: one line per
// choice, "API<TAB>IN<TAB>OUT<TAB>LABEL LABEL...", where IN and OUT are what names each direction (--in,
// else --port, each after the environment's defaults; "" for the default pair). Failures are ignored: the
// cache only saves typing.
void RememberSlots(const Options& options, const std::vector<std::string>& labels);

}  // namespace su::cli
