#pragma once

#include <string>
#include <string_view>

// Rules for the URLs a request goes to, kept free of WinINet so that native tests and the
// fuzzer reach them.

enum class UrlScheme { Http, Https, Other };

// The scheme, which URLs write in any letter case ("HTTPS://" is https).
UrlScheme SchemeOf(std::string_view url);

// The URL without its fragment: everything from the first '#' on names a place in the
// answer, not a resource, and must never reach the request line.
std::string WithoutFragment(std::string_view url);

// Whether a redirect may be followed to `url` (already resolved and without fragment):
// only http and https, and only a URL that the request's buffers hold whole, since a cut
// one would name another resource. With `httpsOnly` (a request whose certificate was checked
// over https), only https: what the request carries must not go on in clear.
bool IsFollowableUrl(std::string_view url, size_t bufferSize, bool httpsOnly);
