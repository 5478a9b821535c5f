// The proxy natively: the *_proxy variables, as curl reads them.
#include <cstdlib>

#include "platform/Proxy.h"

namespace platform {

ProxyRoutes RoutesForUrl(const std::string& url) {
  return RoutesFromEnvironment(url, [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  });
}

}  // namespace platform
