// TMapView: the "Map" tab's picture: the world map (as the admin API draws it) with a dot
// and the name of every player in the game. Zoom 0 fits the whole world into the widget;
// zoom n shows n screen pixels per map pixel around the players. The form gives it the world
// once the server runs and the players every heartbeat cycle. Main thread only.
#pragma once

#include <QImage>
#include <QWidget>

#include "game/PlayerSnapshot.h"
#include "world/ZQMaps.h"

namespace zq {

class TMapView : public QWidget {
 public:
  TMapView();

  void SetWorld(const TZQMap& map);  // draws the map once
  void SetPlayers(const TPlayerSnapshotList& players);
  void SetZoom(int zoom);

  bool HasWorld() const { return !picture_.isNull(); }
  const TPlayerSnapshotList& Players() const { return players_; }
  // Where tile (x, y) is on the widget now.
  QPointF WidgetPoint(double x, double y) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double Scale() const;  // widget pixels per tile
  QPointF Origin() const;

  QImage picture_;
  TPlayerSnapshotList players_;
  int zoom_ = 0;
};

}  // namespace zq
