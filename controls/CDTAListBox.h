// Dark owner-drawn list: 19-pixel entries whose selection shows only in the text colour, scrolled by its page.
#pragma once

#include <QBrush>
#include <QColor>
#include <QListWidget>

class CDTAListBox : public QListWidget {
    Q_OBJECT
public:
    static constexpr int kEntryHeight = 19;
    static constexpr int kSideMargin = 2;

    explicit CDTAListBox(QWidget* parent = nullptr);

    void setBackgroundBrush(const QBrush& brush);
    QBrush backgroundBrush() const { return m_background; }

    // Index of the entry shown at the top of the list.
    int topIndex() const;
    void setTopIndex(int index);

    static QColor selectedTextColor(bool enabled);
    // Unselected text: white, or the palette's disabled text colour when the list is disabled.
    QColor unselectedTextColor(bool enabled) const;

Q_SIGNALS:
    void topIndexChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QBrush m_background;
};
