// Safe replacement of a whole file.
#pragma once

#include <string>

// Replaces `path` with `text`: the text goes to a temporary file in the same folder, which is then
// renamed over the old file, so that a failed or interrupted write never leaves a half-written
// file. On failure the old file is untouched, the temporary file is removed and `error` (if given)
// says why.
bool WriteFileSafely(const std::string& path, const std::string& text, std::string* error);
