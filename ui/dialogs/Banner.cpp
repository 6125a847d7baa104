#include "Banner.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

#include "platform/qt/QtText.h"
#include "zenuModule/src/ProcessValues.h"

QPixmap LoginBanner(const QString& path, int width, int height) {
  QPixmap picture(path);
  if (!picture.isNull()) return picture;
  QPixmap drawn(width, height);
  QPainter painter(&drawn);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient gradient(0, 0, width, height);
  gradient.setColorAt(0.0, QColor(0x1e, 0x3c, 0x72));
  gradient.setColorAt(1.0, QColor(0x2a, 0x9d, 0xc8));
  painter.fillRect(drawn.rect(), gradient);
  // A faint film strip on the right keeps the plain gradient from looking empty.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 28));
  for (int x = width - 150, i = 0; i < 5; ++i, x += 30)
    painter.drawRoundedRect(QRectF(x, height * 0.22, 22, height * 0.56), 4, 4);
  QFont title = painter.font();
  title.setPointSizeF(22);
  title.setBold(true);
  painter.setFont(title);
  painter.setPen(Qt::white);
  const QRect textArea(24, 0, width - 48, height);
  painter.drawText(textArea.adjusted(0, 0, 0, -height / 4), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Vadeko"));
  QFont sub = painter.font();
  sub.setPointSizeF(10);
  sub.setBold(false);
  painter.setFont(sub);
  painter.setPen(QColor(255, 255, 255, 210));
  painter.drawText(textArea.adjusted(0, height / 3, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringFromGBK(kDisplayName));
  return drawn;
}
