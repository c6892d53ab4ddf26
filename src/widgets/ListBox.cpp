#include "widgets/ListBox.h"

#include <QShowEvent>

namespace wendmoor {

ListBox::ListBox(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
    setSortingEnabled(false);
    connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            emit listIndexChanged(row);
    });
}

void ListBox::addEntry(const QString& text, int itemData)
{
    auto* item = new QListWidgetItem(text, this);
    item->setData(Qt::UserRole, itemData);
}

int ListBox::listIndex() const
{
    const QListWidgetItem* item = currentItem();
    return item != nullptr && item->isSelected() ? currentRow() : -1;
}

void ListBox::setListIndex(int index)
{
    if (index < 0 || index >= count())
        return;
    setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    scrollToItem(item(index), QAbstractItemView::PositionAtTop);
}

int ListBox::itemData(int index) const
{
    const QListWidgetItem* entry = item(index);
    return entry != nullptr ? entry->data(Qt::UserRole).toInt() : 0;
}

int ListBox::indexOfItemData(int itemData) const
{
    for (int i = 0; i < count(); ++i) {
        if (item(i)->data(Qt::UserRole).toInt() == itemData)
            return i;
    }
    return -1;
}

QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex& index, const QEvent*) const
{
    // Every move chooses the entry it lands on, and nothing (a Ctrl-click, a click beside the
    // entries) ever leaves the list without a choice once it has one.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
}

void ListBox::showEvent(QShowEvent* event)
{
    QListWidget::showEvent(event);
    // A choice made before the list was first shown has not scrolled it into its one line.
    if (currentItem() != nullptr)
        scrollToItem(currentItem(), QAbstractItemView::PositionAtTop);
}

} // namespace wendmoor
