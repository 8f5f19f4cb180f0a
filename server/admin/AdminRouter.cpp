#include "server/admin/AdminRouter.h"

namespace zq {
namespace {

TMethod MethodOf(const std::string& method) {
  if (method == "GET" || method == "HEAD") return TMethod::Get;
  if (method == "PUT") return TMethod::Put;
  if (method == "DELETE") return TMethod::Delete;
  if (method == "POST") return TMethod::Post;
  return TMethod::None;
}

}  // namespace

void TAdminRouter::Add(const std::string& pattern, TMethod methods, THandler handler) {
  TRoute route;
  const std::size_t arg = pattern.find("<arg>");
  route.HasArg = arg != std::string::npos;
  route.Prefix = pattern.substr(0, arg);
  if (route.HasArg) route.Suffix = pattern.substr(arg + 5);
  route.Methods = methods;
  route.Handle = std::move(handler);
  routes_.push_back(std::move(route));
}

// The route's argument in `path`, or nothing when the route's pattern does not match it.
std::optional<std::string> TAdminRouter::Match(const TRoute& route, const std::string& path) {
  if (!route.HasArg) {
    if (path != route.Prefix) return std::nullopt;
    return std::string();
  }
  const std::size_t fixed = route.Prefix.size() + route.Suffix.size();
  if (path.size() <= fixed || path.compare(0, route.Prefix.size(), route.Prefix) != 0 ||
      path.compare(path.size() - route.Suffix.size(), route.Suffix.size(), route.Suffix) != 0)
    return std::nullopt;
  std::string arg = path.substr(route.Prefix.size(), path.size() - fixed);
  if (!route.Suffix.empty() && arg.find('/') != std::string::npos) return std::nullopt;
  return arg;
}

TAdminRouter::TResult TAdminRouter::Route(THttpExchange& exchange, std::string& allowed) const {
  const THttpRequest& request = exchange.Request();
  const TMethod method = MethodOf(request.Method);
  TMethod known = TMethod::None;
  for (const TRoute& route : routes_) {
    std::optional<std::string> arg = Match(route, request.Path);
    if (!arg) continue;
    if (route.Methods & method) {
      route.Handle(*arg, request, exchange);
      return TResult::Routed;
    }
    known = known | route.Methods;
  }
  if (known == TMethod::None) return TResult::NoSuchPath;
  allowed.clear();
  for (const auto& [m, name] : {std::pair{TMethod::Get, "GET, HEAD"},
                                {TMethod::Post, "POST"},
                                {TMethod::Put, "PUT"},
                                {TMethod::Delete, "DELETE"}})
    if (known & m) allowed.append(allowed.empty() ? "" : ", ").append(name);
  return TResult::MethodNotAllowed;
}

}  // namespace zq
