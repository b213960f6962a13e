#include "shell/clipboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "shell/qt_image.h"
#include "shell/qt_text.h"

int copyImageToClipboard(ImageHandle image) {
    if (image == nullptr || image->pixels == nullptr || image->depth != 24 || image->width < 1 ||
        image->height < 1)
        return 0;
    QImage picture;
    copyToQImage(*image, picture);
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")) return 0;
    auto* data = new QMimeData;
    data->setImageData(picture);
    data->setData("image/png", png);
    QGuiApplication::clipboard()->setMimeData(data);
    return 1;
}

void copyTextToClipboard(const std::string& text) {
    QGuiApplication::clipboard()->setText(toQString(text));
}
