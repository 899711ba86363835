#include "console/console_resources.h"

#include <QPainter>
#include <QSvgRenderer>

namespace {

QPixmap RenderSvg(QSvgRenderer& renderer, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

}  // namespace

QIcon ParvaneIcon()
{
    QSvgRenderer renderer(QStringLiteral(":/parvane/parvane.svg"));
    QIcon icon;
    for (int size : {16, 32, 48}) {
        icon.addPixmap(RenderSvg(renderer, QSize(size, size)));
    }
    return icon;
}

QPixmap ResourcePicture(const QString& path)
{
    if (path.endsWith(QStringLiteral(".svg"))) {
        QSvgRenderer renderer(path);
        if (!renderer.isValid()) {
            return QPixmap();
        }
        return RenderSvg(renderer, renderer.defaultSize());
    }
    return QPixmap(path);
}
