// Dark owner-drawn list: 19-pixel entries whose selection shows only in the text colour, scrolled by its page.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CDTAListBox.h"

#include <QAbstractItemDelegate>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

class EntryDelegate : public QAbstractItemDelegate {
public:
    explicit EntryDelegate(CDTAListBox* list) : QAbstractItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QRect item = option.rect;
        painter->fillRect(item, m_list->backgroundBrush());
        // An entry reaching the bottom edge, even one ending exactly on it, keeps its text hidden.
        if (item.y() + item.height() >= m_list->viewport()->height())
            return;
        const bool enabled = m_list->isEnabled();
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        painter->save();
        const bool dimmed = index.data(CDTAListBox::kDimmedRole).toBool();
        painter->setPen(selected ? CDTAListBox::selectedTextColor(enabled)
                        : dimmed ? CDTAListBox::dimmedTextColor(enabled)
                                 : m_list->unselectedTextColor(enabled));
        painter->setFont(m_list->font());
        const QRect text = item.adjusted(CDTAListBox::kSideMargin, 0, -CDTAListBox::kSideMargin, 0);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), CDTAListBox::kEntryHeight};
    }

private:
    CDTAListBox* m_list;
};

} // namespace

CDTAListBox::CDTAListBox(QWidget* parent) : QListWidget(parent), m_background(QColor(5, 5, 5))
{
    setItemDelegate(new EntryDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    // The page draws its own scroll bar beside the list.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setContextMenuPolicy(Qt::PreventContextMenu);
    // paintEvent fills with our brush; Qt's own fill would paint the viewport twice.
    viewport()->setAutoFillBackground(false);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CDTAListBox::topIndexChanged);
}

void CDTAListBox::setBackgroundBrush(const QBrush& brush)
{
    m_background = brush;
    viewport()->update();
}

QColor CDTAListBox::selectedTextColor(bool enabled)
{
    return enabled ? QColor(255, 174, 0) : QColor(127, 87, 0);
}

QColor CDTAListBox::unselectedTextColor(bool enabled) const
{
    return enabled ? QColor(Qt::white) : palette().color(QPalette::Disabled, QPalette::Text);
}

QColor CDTAListBox::dimmedTextColor(bool enabled)
{
    // Readable on the near-black background, yet plainly apart from the white of a usable entry.
    return enabled ? QColor(118, 118, 118) : QColor(66, 66, 66);
}

void CDTAListBox::setEntryDimmed(int row, bool dimmed)
{
    if (QListWidgetItem* entry = item(row))
        entry->setData(kDimmedRole, dimmed);
}

bool CDTAListBox::isEntryDimmed(int row) const
{
    const QListWidgetItem* entry = item(row);
    return entry && entry->data(kDimmedRole).toBool();
}

int CDTAListBox::topIndex() const
{
    return verticalScrollBar()->value();
}

void CDTAListBox::setTopIndex(int index)
{
    verticalScrollBar()->setValue(index);
}

void CDTAListBox::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(viewport());
        painter.fillRect(viewport()->rect(), m_background);
    }
    QListWidget::paintEvent(event);
}

void CDTAListBox::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    // One entry per notch: Qt's own wheel scrolling would add several lines on top of it.
    setTopIndex(topIndex() + (delta > 0 ? -1 : 1));
    event->accept();
}

void CDTAListBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListWidget::mouseReleaseEvent(event);
}
