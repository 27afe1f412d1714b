#include "web/core/page_json.h"

#include "transfer/slot_list.h"

namespace su::web {

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      // \u00XX by hand: the C library's formatted output would weigh more than the rest of this file.
      static constexpr char kHexDigits[] = "0123456789abcdef";
      json += "\\u00";
      json += kHexDigits[byte >> 4];
      json += kHexDigits[byte & 0x0F];
    } else {
      json += c;
    }
  }
  return json + "\"";
}

std::string JsonList(const std::vector<std::string>& texts) {
  std::string json = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) json += (i ? "," : "") + JsonString(texts[i]);
  return json + "]";
}

std::string JsonBytes(const std::string& bytes) {
  std::string json = "[";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) json += ',';
    json += std::to_string(static_cast<unsigned char>(bytes[i]));
  }
  return json + "]";
}

std::string ListingJson(const FamilyEntry& family, const Listing& listing) {
  std::string rows = "[";
  for (std::size_t i = 0; i < listing.slots.size(); ++i) {
    const SlotRow& row = listing.slots[i];
    rows += std::string(i ? "," : "") + "{\"label\":" + JsonString(row.label) +
            ",\"used\":" + (row.used ? "true" : "false") + ",\"name\":" + JsonBytes(row.name) +
            ",\"size\":" + JsonString(KilobyteCell(row.size)) + ",\"bytes\":" + std::to_string(row.size) + "}";
  }
  rows += "]";
  const std::uint32_t room = MemoryShown(family, listing);
  const bool largest = family.memory == MemoryFigure::LargestSong;
  return "\"slots\":" + rows + ",\"total\":" + JsonString(family.totalText(listing.totalSize)) +
         ",\"totalBytes\":" + std::to_string(static_cast<std::uint32_t>(listing.totalSize)) +
         ",\"roomLabel\":" + JsonString(family.memoryLabel) +
         ",\"room\":" + JsonString(TotalKilobytesText(room)) +
         ",\"roomBytes\":" + std::to_string(room) + ",\"hasMaxSongSize\":" +
         (largest ? "true" : "false");
}

std::string PlanJson(const SendPlan& plan) {
  std::string songs = "[";
  for (std::size_t i = 0; i < plan.songs.size(); ++i) {
    const PlannedSong& song = plan.songs[i];
    songs += std::string(i ? "," : "") + "{\"slot\":" + (song.hasSlot ? std::to_string(song.slot) : "-1") +
             ",\"hasSlot\":" + (song.hasSlot ? "true" : "false") + ",\"fits\":" + (song.fits ? "true" : "false") +
             ",\"replaces\":" + (song.replaces ? "true" : "false") + ",\"size\":" + std::to_string(song.size) + "}";
  }
  return "\"plan\":" + songs + "],\"roomLeft\":" + std::to_string(plan.roomLeft);
}

}  // namespace su::web
