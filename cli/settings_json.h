// File: cli/settings_json.h - a loaded version 5 document as JSON text, for `recaster show`.
#pragma once

#include <string>

#include "convert/convert.h"
#include "settings/ov_settings.h"

namespace recaster::cli {

// The document as pretty JSON (UTF-8, two-blank indentation, ending in a line feed): one object per
// group in document order, settings in child order. Unless `show_secrets`, every text (a filter's
// texts too) is hidden by the one rule for secrets (words::MaskSecrets): a password that is set reads
// "********", a connection string its secret fields masked, any other text its URLs' secrets masked.
std::string SettingsToJson(const settings::CSTSettings3& document, bool show_secrets);

// The same text written to `sink` as it is made, in pieces of 64 KiB or more (the last shorter), so
// that it never exists whole; false when the sink refused a piece (nothing more was offered to it).
bool WriteSettingsJson(const settings::CSTSettings3& document, bool show_secrets, text::TextSink& sink);

}  // namespace recaster::cli
