#pragma once

// Non-ASCII characters of a UTF-8 URL, for the request line.

#include <string>
#include <string_view>

// False when the URL's authority (user information, host name and port: from after
// "://", or from the start without one, up to the first "/", "?" or "#") holds a byte
// from 0x80 up. Such host names would need IDNA, which the plug-in does not do.
bool UrlAuthorityIsAscii(std::string_view url);

// Writes every byte from 0x80 up as "%" followed by two upper-case hexadecimal digits,
// the usual percent-encoding of UTF-8 bytes; every other byte, "%" included, stays as
// it is.
std::string PercentEncodeNonAscii(std::string_view url);
