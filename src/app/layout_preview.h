#pragma once

#include <QFrame>
#include <QImage>

namespace kavo {

/// What the preview reads from the dialog and the main window at each run.
struct LayoutPreviewInputs {
    enum class Alignment { None, Left, Center, Right };
    Alignment Align = Alignment::None;
    bool NoTable = false;  // false also while neither table option is selected
    int PerRow = 3;        // n, 1 to 10
    int PerPage = 50;      // P, 5 to 200
    bool Thumbnails = false;  // each stamp drawn as a thumbnail in its box
};

/// Draws the sketch of one catalogue page onto `surface` (cleared to white
/// first): six stamps of `sample` at the chosen alignment without a table, or
/// centred rows of n stamps, as many as a page holds, with a table; a row too
/// wide for the surface is drawn with stamps stretched into smaller squares.
/// With thumbnails each square is the thumbnail's box, framed, with the stamp
/// fitted inside it.
void DrawLayoutPreview(const LayoutPreviewInputs& in, const QImage& sample, QImage& surface);

/// The 23 × 23 sample picture the stamps are made of.
QImage SamplePicture();

/// A box with a sunken border that shows a persistent image of its inner area.
/// Drawing goes into image(); refresh() makes it visible.
class PictureBox : public QFrame {
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    /// The image of the inner area, made (white) to the area's size when needed.
    QImage& image();
    void refresh() { update(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};

}  // namespace kavo
