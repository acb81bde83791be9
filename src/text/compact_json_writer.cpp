#include "text/compact_json_writer.h"

#include <json/writer.h>


namespace {

void WriteQuoted(const char* begin, const char* end, std::string& out) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  out += '"';
  for (const char* p = begin; p != end; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    switch (byte) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHexDigits[byte >> 4];
          out += kHexDigits[byte & 0x0F];
        } else {
          out += static_cast<char>(byte);
        }
    }
  }
  out += '"';
}

void WriteValue(const Json::Value& value, std::string& out) {
  switch (value.type()) {
    case Json::nullValue: out += "null"; break;
    case Json::booleanValue: out += value.asBool() ? "true" : "false"; break;
    case Json::intValue: out += Json::valueToString(value.asLargestInt()); break;
    case Json::uintValue: out += Json::valueToString(value.asLargestUInt()); break;
    case Json::realValue: out += Json::valueToString(value.asDouble()); break;
    case Json::stringValue: {
      const char* begin = nullptr;
      const char* end = nullptr;
      value.getString(&begin, &end);
      WriteQuoted(begin, end, out);
      break;
    }
    case Json::arrayValue: {
      out += '[';
      for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
        if (i) out += ',';
        WriteValue(value[i], out);
      }
      out += ']';
      break;
    }
    case Json::objectValue: {
      // jsoncpp 1.9.5 keeps members in a map ordered by memcmp and then length: the order
      // of unsigned bytes, which the body takes (a test pins it, should jsoncpp change).
      out += '{';
      for (auto member = value.begin(); member != value.end(); ++member) {
        if (member != value.begin()) out += ',';
        const char* end = nullptr;
        const char* key = member.memberName(&end);
        WriteQuoted(key, end, out);
        out += ':';
        WriteValue(*member, out);
      }
      out += '}';
      break;
    }
  }
}

}  // namespace

std::string WriteCompactJson(const Json::Value& value) {
  std::string out;
  WriteValue(value, out);
  return out;
}
