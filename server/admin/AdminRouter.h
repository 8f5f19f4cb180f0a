// TAdminRouter: the admin API's routes, each a set of methods and a path pattern in which
// "<arg>" stands for one segment or, at the pattern's end, for the rest of the path, slashes
// and all (a range such as 10.0.0.0/8, a name with a "%2F"). The first route that matches a
// request's method and decoded path takes it. Main thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "server/admin/HttpServer.h"

namespace zq {

// One method or, joined with |, several.
enum class TMethod : unsigned { None = 0, Get = 1, Put = 2, Delete = 4, Post = 8 };
constexpr TMethod operator|(TMethod a, TMethod b) {
  return static_cast<TMethod>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool operator&(TMethod a, TMethod b) {
  return (static_cast<unsigned>(a) & static_cast<unsigned>(b)) != 0;
}

class TAdminRouter {
 public:
  using THandler = std::function<void(const std::string& arg, const THttpRequest& request,
                                      THttpExchange& exchange)>;

  void Add(const std::string& pattern, TMethod methods, THandler handler);
  // Hands the request to its route; false when none takes it.
  bool Route(THttpExchange& exchange) const;

 private:
  struct TRoute {
    std::string Prefix;
    std::string Suffix;
    bool HasArg = false;
    TMethod Methods = TMethod::None;
    THandler Handle;
  };
  std::vector<TRoute> routes_;
};

}  // namespace zq
