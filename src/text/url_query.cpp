#include "text/url_query.h"

#include <algorithm>

bool QueryHasValue(std::string_view url, std::string_view name) {
  url = url.substr(0, url.find('#'));
  const std::size_t query = url.find('?');
  if (query == std::string_view::npos) return false;
  for (std::string_view rest = url.substr(query + 1); !rest.empty();) {
    const std::size_t end = std::min(rest.find('&'), rest.size());
    const std::string_view parameter = rest.substr(0, end);
    if (parameter.size() > name.size() + 1 && parameter.substr(0, name.size()) == name &&
        parameter[name.size()] == '=') {
      return true;
    }
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return false;
}
