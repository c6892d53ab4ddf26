#pragma once

#include <QListWidget>

namespace wendmoor {

// A list box one line high: one entry shows at a time. A click or an arrow key chooses the
// entry it lands on (and moves the line to it); the scroll arrows and the mouse wheel only show
// other entries. Entries keep the order in which they were added and each carries a number (its
// item data). Once an entry is chosen the operator cannot clear the choice, only move it.
class ListBox final : public QListWidget {
    Q_OBJECT
public:
    explicit ListBox(QWidget* parent = nullptr);

    void addEntry(const QString& text, int itemData);
    // The position of the chosen entry, or -1 when none is chosen.
    [[nodiscard]] int listIndex() const;
    // Chooses the entry at `index`; an index with no entry leaves the choice as it is. Choosing
    // a different entry emits listIndexChanged, as a choice by the operator does.
    void setListIndex(int index);
    [[nodiscard]] int itemData(int index) const;
    // The position of the first entry carrying `itemData`, or -1.
    [[nodiscard]] int indexOfItemData(int itemData) const;

signals:
    // The chosen entry changed, by the operator or by setListIndex().
    void listIndexChanged(int index);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(
        const QModelIndex& index, const QEvent* event = nullptr) const override;
    void showEvent(QShowEvent* event) override;
};

} // namespace wendmoor
