// Dark owner-drawn list: 19-pixel entries whose selection shows only in the text colour, scrolled by its page.
// An entry can be dimmed (grey text) to show it is there but cannot be used as things stand.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QBrush>
#include <QColor>
#include <QListWidget>

class CDTAListBox : public QListWidget {
    Q_OBJECT
public:
    static constexpr int kEntryHeight = 19;
    static constexpr int kSideMargin = 2;
    // Item data role holding whether an entry is dimmed (bool).
    static constexpr int kDimmedRole = Qt::UserRole + 1;

    explicit CDTAListBox(QWidget* parent = nullptr);

    void setBackgroundBrush(const QBrush& brush);
    QBrush backgroundBrush() const { return m_background; }

    // Index of the entry shown at the top of the list.
    int topIndex() const;
    void setTopIndex(int index);

    static QColor selectedTextColor(bool enabled);
    // Unselected text: white, or the palette's disabled text colour when the list is disabled.
    QColor unselectedTextColor(bool enabled) const;
    // Text of a dimmed entry that is not selected; a selected one shows the selected colour, so the mark stays
    // visible.
    static QColor dimmedTextColor(bool enabled);

    void setEntryDimmed(int row, bool dimmed);
    bool isEntryDimmed(int row) const;

Q_SIGNALS:
    void topIndexChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QBrush m_background;
};
