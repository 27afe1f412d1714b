// What a send checks before anything goes out: the dry run of one song, and the plan of several songs kept
// whole or refused, with a dry run's lines.
#pragma once

#include <string>
#include <vector>

#include "cli/commands/context.h"
#include "transfer/send_plan.h"

namespace su::cli {

// send --dry-run of one song: the slot as the user named it (or the first empty one), the song converted for
// the keyboard found, and what a send would do, from the slots as the keyboard lists them.
void DryRunOne(CommandContext& context);

// Several songs: the plan as --json reports it, a dry run's lines, and the refusal of a plan that cannot be
// kept whole (a song without a slot or without room), before anything is sent. `given` names the songs as
// the user did, in the plan's order.
void RefuseUnlessAllFit(CommandContext& context, const std::vector<std::string>& given, const SendPlan& plan,
                        const Listing& listing);

}  // namespace su::cli
