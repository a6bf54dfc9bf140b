#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/qt/FormView.h"

namespace horavex {

QPixmap ButtonPicture(Picture picture) {
  QSize size = picture == Picture::Quest ? QSize(41, 45)
               : picture == Picture::Ok  ? QSize(44, 36)
                                         : QSize(37, 39);
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  switch (picture) {
    case Picture::Ok: {
      p.setPen(QPen(QColor(0, 160, 0), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF({QPointF(5, 19), QPointF(16, 30), QPointF(39, 6)}));
      break;
    }
    case Picture::Cancel: {
      p.setPen(QPen(QColor(220, 0, 0), 7, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(6, 6), QPointF(31, 33));
      p.drawLine(QPointF(31, 6), QPointF(6, 33));
      break;
    }
    case Picture::Quest: {
      p.setPen(Qt::black);
      QFont font("Sans Serif");
      font.setPixelSize(30);
      font.setBold(true);
      p.setFont(font);
      p.drawText(QRect(14, 0, 27, 32), Qt::AlignCenter, "?");
      p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(16, 28), QPointF(5, 40));
      p.setBrush(Qt::black);
      p.drawPolygon(QPolygonF({QPointF(2, 43), QPointF(3, 33), QPointF(12, 41)}));
      break;
    }
    case Picture::None:
      break;
  }
  return pixmap;
}

}  // namespace horavex
