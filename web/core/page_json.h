// The JSON texts the core answers the page with. Slot names cross as the keyboard's own bytes (code page
// 932, the in-use marker included): the browser decodes them, so the core carries no character tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/families.h"
#include "transfer/send_plan.h"

namespace su::web {

// `text` as a JSON string; control characters escaped. `text` is UTF-8 (the product's texts, port and file
// names); bytes above 0x7F pass through as they are.
std::string JsonString(const std::string& text);
std::string JsonList(const std::vector<std::string>& texts);
// Raw bytes as a JSON array of numbers 0..255.
std::string JsonBytes(const std::string& bytes);

// The fields of a listing read from a keyboard of `family`: "slots" ({label, used, name: [bytes], size, bytes}
// each), the total as the family shows it, and the room left (free memory, or the largest song for a family
// that shows that) with the family's label for it.
std::string ListingJson(const FamilyEntry& family, const Listing& listing);

// The fields of a plan: "plan" ({slot, hasSlot, fits, replaces, size} per song, in the plan's order; `slot`
// an index into the listing, -1 without one) and "roomLeft", the room the songs that fit leave.
std::string PlanJson(const SendPlan& plan);

}  // namespace su::web
