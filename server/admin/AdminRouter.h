// TAdminRouter: the admin API's routes, each a set of methods and a path pattern in which
// "<arg>" stands for one segment or, at the pattern's end, for the rest of the path, slashes
// and all (a range such as 10.0.0.0/8, a name with a "%2F"). The first route that matches a
// request's method and decoded path takes it; HEAD is taken as GET (the transport leaves the
// body out). A path that no route has, or has for other methods, is told apart: 404 or 405.
// Main thread.
#pragma once

#include <functional>
#include <optional>
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
  enum class TResult { Routed, NoSuchPath, MethodNotAllowed };
  // Hands the request to its route; when none takes it, says whether the path is known.
  // `allowed` then gets the methods the path has ("GET, HEAD, POST").
  TResult Route(THttpExchange& exchange, std::string& allowed) const;

 private:
  struct TRoute {
    std::string Prefix;
    std::string Suffix;
    bool HasArg = false;
    TMethod Methods = TMethod::None;
    THandler Handle;
  };
  static std::optional<std::string> Match(const TRoute& route, const std::string& path);

  std::vector<TRoute> routes_;
};

}  // namespace zq
