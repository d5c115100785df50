#pragma once

#include "platform/Pasteboard.h"

#include <utility>

namespace brivet::ClipboardMimeTypes {

// The MIME types Brivet reads from a Wayland clipboard owner, best first within each kind.
inline constexpr const char* files[] = {"text/uri-list", "x-special/gnome-copied-files"};
inline constexpr const char* texts[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain",
                                        "TEXT", "STRING"};
inline constexpr std::pair<const char*, PasteboardType> images[] = {
    {"image/tiff", PasteboardType::TIFF}, {"image/png", PasteboardType::PNG}};
// The formatted forms of a text, read beside it.
inline constexpr std::pair<const char*, PasteboardType> richTexts[] = {
    {"text/html", PasteboardType::HTML}, {"text/rtf", PasteboardType::RTF}};
// Owners that mark a copy as a secret (password managers, KeePassXC, macOS-born programs).
inline constexpr const char* secretHints[] = {"x-kde-passwordManagerHint",
                                              "application/x-nspasteboard-concealed-type"};
// The type that marks Brivet's own offers.
inline constexpr const char* ownMarker = "application/x-brivet-source";

} // namespace brivet::ClipboardMimeTypes
