#pragma once

// Non-ASCII characters of a UTF-8 URL, for the request line.

#include <string>
#include <string_view>

// False when the URL's authority (user information, host name and port: from after
// "://", or from the start without one, up to the first "/", "?" or "#") holds a byte
// from 0x80 up. Such host names would need IDNA, which the plug-in does not do.
bool UrlAuthorityIsAscii(std::string_view url);

// Writes every byte from 0x80 up as `percent` followed by two upper-case hexadecimal
// digits; every other byte, "%" included, stays as it is. With `percent` "%" this is
// the usual percent-encoding of the UTF-8 bytes.
std::string PercentEncodeNonAscii(std::string_view url, std::string_view percent = "%");
