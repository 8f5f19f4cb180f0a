#include "tests/admin/AdminTestSupport.h"

#include <QNetworkProxy>
#include <QNetworkRequest>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>

namespace zq::test {

std::string THttpResult::Header(const std::string& name) const {
  auto it = Headers.find(name);
  return it == Headers.end() ? std::string() : it->second;
}

AdminApiTest::AdminApiTest() {
  http_.setProxy(QNetworkProxy::NoProxy);
  settings_.AdminListen = "127.0.0.1:0";
  adminSettings_.Listen = "127.0.0.1:0";
  adminSettings_.Token = TEST_TOKEN;
  adminSettings_.Clock = [this] { return now_; };
}

AdminApiTest::~AdminApiTest() {
  for (auto& s : streams_) s->abort();
  streams_.clear();
  admin_.reset();
}

void AdminApiTest::StartAdmin() {
  // The admin server is made before the start, as the front ends make it.
  server_ = std::make_unique<TZQOServer>(view_, serverOptions_);
  admin_ = std::make_unique<TAdminServer>(*server_, adminSettings_, [this] { ++shutdowns_; });
  // ServerTest::StartServer makes a server of its own: start this one the same way.
  mkworld::WriteInstallation(dir_.Path());
  TServerSettings settings = settings_;
  settings.GameDirectory = dir_.Path();
  settings.TcpPort = 0;
  settings.BaseUdpPortText = std::to_string(BaseUdpPort());
  server_->StartServer(settings);
  ASSERT_TRUE(server_->ServerStarted());
  admin_->Start();
  ASSERT_NE(admin_->Port(), 0);
}

QUrl AdminApiTest::Url(const std::string& path) const {
  return QUrl(QString::fromStdString("http://127.0.0.1:" + std::to_string(admin_->Port()) + path));
}

THttpResult AdminApiTest::Request(const QByteArray& method, const std::string& path,
                                  const std::string& token,
                                  const std::vector<std::pair<QByteArray, QByteArray>>& headers,
                                  const QByteArray& body) {
  std::unique_ptr<QNetworkReply> reply = Begin(method, path, body, token, headers);
  return Finish(*reply);
}

std::unique_ptr<QNetworkReply> AdminApiTest::Begin(
    const QByteArray& method, const std::string& path, const QByteArray& body,
    const std::string& token, const std::vector<std::pair<QByteArray, QByteArray>>& headers) {
  QNetworkRequest request(Url(path));
  if (!token.empty())
    request.setRawHeader("Authorization", QByteArray::fromStdString("Bearer " + token));
  if (!body.isEmpty()) request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
  for (const auto& [name, value] : headers) request.setRawHeader(name, value);
  return std::unique_ptr<QNetworkReply>(http_.sendCustomRequest(request, method, body));
}

THttpResult AdminApiTest::Finish(QNetworkReply& reply) {
  THttpResult result;
  if (!WaitUntil([&] { return reply.isFinished(); }, 20000)) return result;
  result.Status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  result.Body = reply.readAll();
  for (const auto& [name, value] : reply.rawHeaderPairs())
    result.Headers[name.toLower().toStdString()] = value.toStdString();
  return result;
}

QNetworkReply* AdminApiTest::Follow(std::vector<TStreamEvent>& events,
                                    const std::string& lastEventId) {
  QNetworkRequest request(Url("/api/events"));
  request.setRawHeader("Authorization", QByteArray("Bearer ") + TEST_TOKEN);
  if (!lastEventId.empty())
    request.setRawHeader("Last-Event-ID", QByteArray::fromStdString(lastEventId));
  QNetworkReply* reply = http_.get(request);
  auto buffer = std::make_shared<QByteArray>();
  QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, buffer, &events] {
    *buffer += reply->readAll();
    for (qsizetype end; (end = buffer->indexOf("\n\n")) >= 0;) {
      const QByteArray block = buffer->left(end);
      buffer->remove(0, end + 2);
      TStreamEvent event;
      for (const QByteArray& line : block.split('\n')) {
        if (line.startsWith("id: ")) event.Id = line.mid(4).toULongLong();
        if (line.startsWith("event: ")) event.Name = line.mid(7).toStdString();
        if (line.startsWith("data: ")) event.Data = QJsonDocument::fromJson(line.mid(6)).object();
      }
      if (!event.Name.empty()) events.push_back(event);
    }
  });
  streams_.emplace_back(reply);
  return reply;
}

double TMetrics::Value(const std::string& series) const {
  auto it = Samples.find(series);
  return it == Samples.end() ? 0 : it->second;
}

// The text exposition format's rules, as a scraper and `promtool check metrics` hold them:
// each family's HELP then TYPE, once, with its samples together after them; counters and only
// counters end in _total; a histogram's buckets ascend in `le` with ascending counts, end at
// +Inf, and agree with its _count; no series twice. Throws naming the first line at fault.
TMetrics ParseMetrics(const std::string& text) {
  static const std::regex help(R"(^# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) .+$)");
  static const std::regex type(R"(^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram)$)");
  static const std::regex sample(
      R"(^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{([a-zA-Z_][a-zA-Z0-9_]*="([^"\\\n]|\\[\\"n])*")(,[a-zA-Z_][a-zA-Z0-9_]*="([^"\\\n]|\\[\\"n])*")*\})? (\S+)$)");
  static const std::regex le(R"x(le="([^"]*)")x");
  TMetrics m;
  std::set<std::string> closed;  // families whose samples have ended
  std::string family, helped;
  double lastLe = -HUGE_VAL, lastBucket = 0, infBucket = -1;
  auto endFamily = [&] {
    if (family.empty()) return;
    closed.insert(family);
    if (m.Types[family] == "histogram" && infBucket != m.Value(family + "_count"))
      throw std::runtime_error("histogram without +Inf equal to its count: " + family);
  };
  std::istringstream in(text);
  std::smatch g;
  for (std::string line; std::getline(in, line);) {
    if (std::regex_match(line, g, help)) {
      helped = g[1];
      continue;
    }
    if (std::regex_match(line, g, type)) {
      endFamily();
      family = g[1];
      if (helped != family) throw std::runtime_error("TYPE without its HELP before: " + line);
      if (closed.count(family) || m.Types.count(family))
        throw std::runtime_error("family given twice: " + family);
      m.Types[family] = g[2];
      const bool total = family.size() > 6 && family.substr(family.size() - 6) == "_total";
      if ((g[2] == "counter") != total)
        throw std::runtime_error("counters and only counters end in _total: " + line);
      lastLe = -HUGE_VAL;
      lastBucket = 0;
      infBucket = -1;
      continue;
    }
    if (!std::regex_match(line, g, sample)) throw std::runtime_error("bad line: " + line);
    const std::string name = g[1];
    const bool histogram = m.Types[family] == "histogram";
    const bool ofFamily =
        name == family || (histogram && (name == family + "_bucket" || name == family + "_sum" ||
                                         name == family + "_count"));
    if (!ofFamily) throw std::runtime_error("sample outside its family: " + line);
    const std::string value = g[g.size() - 1];
    const std::string series = line.substr(0, line.size() - value.size() - 1);
    if (m.Samples.count(series)) throw std::runtime_error("series given twice: " + series);
    const double number = value == "+Inf" ? HUGE_VAL : std::stod(value);
    m.Samples[series] = number;
    if (histogram && name == family + "_bucket") {
      std::smatch bound;
      if (!std::regex_search(series, bound, le)) throw std::runtime_error("bucket without le");
      const double at = bound[1] == "+Inf" ? HUGE_VAL : std::stod(bound[1]);
      if (at <= lastLe || number < lastBucket || infBucket >= 0)
        throw std::runtime_error("buckets out of order: " + line);
      lastLe = at;
      lastBucket = number;
      if (at == HUGE_VAL) infBucket = number;
    }
  }
  endFamily();
  return m;
}

}  // namespace zq::test
