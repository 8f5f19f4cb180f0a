#include "gui/MapView.h"

#include <QPainter>
#include <algorithm>
#include <map>

#include "accounts/NameText.h"
#include "server/MapImage.h"

namespace zq {
namespace {

constexpr double DOT_RADIUS = 4;
constexpr double LINE_HEIGHT = 13;

}  // namespace

TMapView::TMapView() {
  setMinimumSize(200, 200);
  setObjectName(QStringLiteral("MapView"));
}

void TMapView::SetWorld(const TZQMap& map) {
  if (!picture_.isNull()) return;
  picture_ = RenderMapImage(map).convertToFormat(QImage::Format_RGB32);
  update();
}

void TMapView::SetPlayers(const TPlayerSnapshotList& players) {
  if (players == players_) return;
  players_ = players;
  update();
}

void TMapView::SetZoom(int zoom) {
  zoom_ = std::max(0, zoom);
  update();
}

double TMapView::Scale() const {
  if (zoom_ > 0) return static_cast<double>(zoom_) / MAP_TILES_PER_PIXEL;
  return std::min(width(), height()) / static_cast<double>(WORLD_TILES);
}

QPointF TMapView::Origin() const {
  const double k = Scale();
  if (zoom_ == 0) return {(width() - WORLD_TILES * k) / 2, (height() - WORLD_TILES * k) / 2};
  // Zoomed in: the players' middle (the world's without players) at the widget's centre.
  double cx = WORLD_TILES / 2.0, cy = WORLD_TILES / 2.0;
  if (!players_.empty()) {
    cx = cy = 0;
    for (const TPlayerSnapshotEntry& p : players_) {
      cx += p.X;
      cy += p.Y;
    }
    cx /= static_cast<double>(players_.size());
    cy /= static_cast<double>(players_.size());
  }
  return {width() / 2.0 - cx * k, height() / 2.0 - cy * k};
}

QPointF TMapView::WidgetPoint(double x, double y) const {
  const double k = Scale();
  return Origin() + QPointF((x + 0.5) * k, (y + 0.5) * k);
}

void TMapView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0x50, 0x50, 0x4a));
  if (picture_.isNull()) {
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter,
                     QStringLiteral("The map shows once the server runs."));
    return;
  }
  const double k = Scale();
  const QPointF origin = Origin();
  painter.drawImage(QRectF(origin, QSizeF(WORLD_TILES * k, WORLD_TILES * k)), picture_);
  painter.setRenderHint(QPainter::Antialiasing);
  std::map<std::pair<uint16_t, uint16_t>, int> onTile;  // names on one tile stack downwards
  for (const TPlayerSnapshotEntry& p : players_) {
    const QPointF at = WidgetPoint(p.X, p.Y);
    const int below = onTile[{p.X, p.Y}]++;
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(QColor(0xD6, 0x33, 0x6C));
    painter.drawEllipse(at, DOT_RADIUS, DOT_RADIUS);
    painter.setPen(Qt::black);
    painter.drawText(at + QPointF(DOT_RADIUS + 3, 4 + LINE_HEIGHT * below),
                     QString::fromStdString(ShowName(p.Name)));
  }
}

}  // namespace zq
