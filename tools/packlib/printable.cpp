// Names, commands and paths made safe to print, on a terminal and in JSON.
#include "tools/packlib/printable.h"

#include <cstdint>
#include <cstdio>

#include "support/text/utf8.h"

namespace packlib {

namespace {

// The length of the UTF-8 sequence at `at`, 0 where none starts.
int32_t sequence(std::string_view text, size_t at, uint32_t* code) {
  return utf8_sequence(text.data() + at, int32_t(text.size() - at), code);
}

bool is_control_code_point(uint32_t code) {
  return (code >= 0x80 && code <= 0x9F) || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

std::string escaped(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

} // namespace

bool is_utf8(std::string_view text) {
  uint32_t code;
  for (size_t at = 0; at < text.size();) {
    int32_t length = sequence(text, at, &code);
    if (length == 0)
      return false;
    at += size_t(length);
  }
  return true;
}

std::string printable(std::string_view text, bool keep_newlines) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    uint32_t code;
    int32_t length = sequence(text, at, &code);
    unsigned char byte = static_cast<unsigned char>(text[at]);
    if (length > 1 && is_control_code_point(code)) {
      out += escaped("\\u%04X", code);
    } else if (length > 1) {
      out.append(text.substr(at, size_t(length)));
    } else if ((byte < 0x20 && !(keep_newlines && byte == '\n')) || byte == 0x7F ||
               (byte >= 0x80 && byte <= 0x9F)) {
      out += escaped("\\x%02X", byte);
    } else {
      out += char(byte);
    }
    at += length > 1 ? size_t(length) : 1;
  }
  return out;
}

std::string json_text(std::string_view text) {
  bool utf8 = is_utf8(text);
  std::string out = "\"";
  for (size_t at = 0; at < text.size();) {
    uint32_t code;
    int32_t length = utf8 ? sequence(text, at, &code) : 1;
    unsigned char byte = static_cast<unsigned char>(text[at]);
    if (length > 1) {
      out += is_control_code_point(code) ? escaped("\\u%04x", code)
                                         : std::string(text.substr(at, size_t(length)));
      at += size_t(length);
      continue;
    }
    if (byte == '"' || byte == '\\')
      out += std::string("\\") + char(byte);
    else if (byte < 0x20 || byte >= 0x7F)
      out += escaped("\\u%04x", byte);
    else
      out += char(byte);
    ++at;
  }
  return out + "\"";
}

std::string json_bytes(std::string_view text) {
  std::string out = "\"";
  for (unsigned char byte : text)
    out += escaped("%02x", byte);
  return out + "\"";
}

} // namespace packlib
