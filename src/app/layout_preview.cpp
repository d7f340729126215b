#include "app/layout_preview.h"

#include <QPainter>
#include <cmath>

namespace kavo {

namespace {

constexpr int kFirstRowY = 10;
constexpr int kRowGap = 10;
constexpr int kCellGap = 2;
constexpr int kNoTableStamps = 6;

/// Nearest whole number, a half going to the even neighbour.
int RoundHalfEven(double value) {
    return static_cast<int>(std::nearbyint(value));
}

int NoTableX(LayoutPreviewInputs::Alignment align) {
    switch (align) {
        case LayoutPreviewInputs::Alignment::Left:
            return 10;
        case LayoutPreviewInputs::Alignment::Right:
            return 90;
        default:
            return 50;
    }
}

/// One stamp in the square `at`: the sample itself, or a thumbnail inside its framed box.
void DrawStamp(QPainter& painter, const QRect& at, const QImage& sample, bool thumbnail) {
    if (!thumbnail) {
        painter.drawImage(at, sample);
        return;
    }
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(at.adjusted(0, 0, -1, -1));
    const int inset = at.width() >= 9 ? 3 : 1;
    painter.drawImage(at.adjusted(inset, inset, -inset, -inset), sample);
}

}  // namespace

void DrawLayoutPreview(const LayoutPreviewInputs& in, const QImage& sample, QImage& surface) {
    surface.fill(Qt::white);
    QPainter painter(&surface);
    const int w = sample.width();
    const int h = sample.height();
    const int a = surface.width();

    if (in.NoTable) {
        const int x = NoTableX(in.Align);
        int y = kFirstRowY;
        for (int i = 0; i < kNoTableStamps; ++i) {
            DrawStamp(painter, QRect(x, y, w, h), sample, in.Thumbnails);
            y += h + kRowGap;
        }
        return;
    }

    const int n = in.PerRow;
    const int p = in.PerPage;
    if (n <= 0 || p <= 0)
        return;
    const int rowWidth = n * w + kCellGap * (n - 1);
    const int rows = (p + n - 1) / n;
    int j = 1;
    int y = kFirstRowY;
    if (a > rowWidth) {
        for (int row = 0; row < rows; ++row) {
            int x = RoundHalfEven((a - rowWidth) / 2.0 + 1);
            for (int k = 0; k < n && j <= p; ++k, ++j) {
                DrawStamp(painter, QRect(x, y, w, h), sample, in.Thumbnails);
                x += w + kCellGap;
            }
            y += h + kRowGap;
        }
    } else {
        const int c = static_cast<int>(std::floor((a - 2.0 * (n + 1)) / n));
        for (int row = 0; row < rows; ++row) {
            // The shrunk row centres by its own rule, not the fitting one's.
            int x = RoundHalfEven(((a - n * c) - (2.0 * n - 1)) / 2.0);
            for (int k = 0; k < n && j <= p; ++k, ++j) {
                DrawStamp(painter, QRect(x, y, c, c), sample, in.Thumbnails);
                x += c + kCellGap;
            }
            y += c + kRowGap;
        }
    }
}

QImage SamplePicture() {
    // A small framed landscape: sky, sun, hill.
    QImage image(23, 23, QImage::Format_RGB32);
    image.fill(QColor(0x87, 0xCE, 0xEB));
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xFF, 0xD7, 0x00));
    painter.drawRect(14, 3, 5, 5);
    painter.setBrush(QColor(0x2E, 0x8B, 0x57));
    painter.drawRect(1, 14, 21, 8);
    painter.drawRect(5, 11, 9, 3);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.drawRect(0, 0, 22, 22);
    return image;
}

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
}

QImage& PictureBox::image() {
    // Sized from the geometry, which holds before the box is first shown.
    const QSize inner = contentsRect().size();
    if (m_image.size() != inner) {
        m_image = QImage(inner, QImage::Format_RGB32);
        m_image.fill(Qt::white);
    }
    return m_image;
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawImage(contentsRect().topLeft(), image());
}

}  // namespace kavo
