// zqo-adminpoll: polls a server's admin API the way a dashboard and a scraper do, for the
// load benchmark with polling (bench/admin-load): GET /api/players and GET /metrics, each
// RATE times a second for SECONDS, over kept-alive loopback connections. Prints how many
// answers came, how many failed and their latency. With --flood N it plays an attacker
// instead: N token-less requests a second, each on a connection of its own (TFlood).
#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>
#include <cstdio>
#include <iostream>

#include "bench/adminpoll/Flood.h"
#include "platform/Histogram.h"
#include "tools/load/LatencyText.h"

namespace {

struct TOptions {
  std::string Url = "http://127.0.0.1:8080";
  std::string Token;
  int Rate = 20;
  double Seconds = 10;
  int Flood = 0;
  int Sources = 1;
};

struct TTally {
  zq::THistogram Latency;  // microseconds
  int Failed = 0;
};

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  CLI::App cli("Polls /api/players and /metrics of a zqosrv admin API.");
  cli.add_option("--url", o.Url, "the admin API, e.g. http://127.0.0.1:8080");
  cli.add_option("--token", o.Token, "the admin token (not for --flood)");
  cli.add_option("--rate", o.Rate, "polls a second of each path")->check(CLI::Range(1, 1000));
  cli.add_option("--seconds", o.Seconds, "how long")->check(CLI::Range(0.1, 3600.0));
  cli.add_option("--flood", o.Flood, "token-less requests a second, each on its own connection")
      ->check(CLI::Range(1, 100000));
  cli.add_option("--sources", o.Sources, "loopback source addresses of the flood, from 127.0.0.1")
      ->check(CLI::Range(1, 65536));
  CLI11_PARSE(cli, argc, argv);

  if (o.Flood > 0) {
    const QUrl url(QString::fromStdString(o.Url));
    zq::bench::TFloodOptions flood;
    flood.Port = static_cast<uint16_t>(url.port(8080));
    flood.Rate = o.Flood;
    flood.Sources = o.Sources;
    flood.Seconds = o.Seconds;
    const zq::bench::TFloodTally tally = zq::bench::RunFlood(flood);
    std::printf("flood: %s\n", zq::bench::FloodText(tally).c_str());
    return 0;
  }
  if (o.Token.empty()) {
    std::fprintf(stderr, "zqo-adminpoll: --token is required unless --flood is given\n");
    return 1;
  }

  QCoreApplication app(argc, argv);
  QNetworkAccessManager http;
  http.setProxy(QNetworkProxy::NoProxy);
  const QByteArray auth = QByteArray::fromStdString("Bearer " + o.Token);
  const char* const paths[] = {"/api/players", "/metrics"};
  TTally tallies[2];
  int pending = 0;
  QElapsedTimer clock;
  clock.start();
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (clock.elapsed() >= static_cast<qint64>(o.Seconds * 1000)) {
      tick.stop();
      if (pending == 0) app.quit();
      return;
    }
    for (int i = 0; i < 2; ++i) {
      QNetworkRequest request(QUrl(QString::fromStdString(o.Url) + paths[i]));
      request.setRawHeader("Authorization", auth);
      QNetworkReply* reply = http.get(request);
      ++pending;
      const qint64 sent = clock.nsecsElapsed();
      QObject::connect(reply, &QNetworkReply::finished, [&, reply, sent, i] {
        --pending;
        if (reply->error() != QNetworkReply::NoError || reply->readAll().isEmpty())
          ++tallies[i].Failed;
        else
          tallies[i].Latency.Add((clock.nsecsElapsed() - sent) / 1000);
        reply->deleteLater();
        if (!tick.isActive() && pending == 0) app.quit();
      });
    }
  });
  tick.start(1000 / o.Rate);
  app.exec();
  for (int i = 0; i < 2; ++i) {
    const zq::THistogram& h = tallies[i].Latency;
    std::printf("poll %s: %llu answered, %d failed, %s\n", paths[i],
                static_cast<unsigned long long>(h.Count()), tallies[i].Failed,
                zq::LatencyText(h).c_str());
  }
  return tallies[0].Failed + tallies[1].Failed == 0 ? 0 : 1;
}
