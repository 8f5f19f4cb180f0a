#include "server/admin/AdminRouter.h"

namespace zq {
namespace {

TMethod MethodOf(const std::string& method) {
  if (method == "GET") return TMethod::Get;
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

bool TAdminRouter::Route(THttpExchange& exchange) const {
  const THttpRequest& request = exchange.Request();
  const TMethod method = MethodOf(request.Method);
  const std::string& path = request.Path;
  for (const TRoute& route : routes_) {
    if (!(route.Methods & method)) continue;
    if (!route.HasArg) {
      if (path != route.Prefix) continue;
      route.Handle({}, request, exchange);
      return true;
    }
    const std::size_t fixed = route.Prefix.size() + route.Suffix.size();
    if (path.size() <= fixed || path.compare(0, route.Prefix.size(), route.Prefix) != 0 ||
        path.compare(path.size() - route.Suffix.size(), route.Suffix.size(), route.Suffix) != 0)
      continue;
    std::string arg = path.substr(route.Prefix.size(), path.size() - fixed);
    if (!route.Suffix.empty() && arg.find('/') != std::string::npos) continue;
    route.Handle(arg, request, exchange);
    return true;
  }
  return false;
}

}  // namespace zq
