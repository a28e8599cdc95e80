#pragma once

#include <QListView>
#include <QStringList>

// A list of locations whose rows are items to a screen reader, each with what a member can do
// to a row: choose it, connect to it, make it a favourite or not. The keyboard reaches the same:
// Enter connects, Ctrl+D toggles the favourite of the current row.
class ServerListView final : public QListView {
    Q_OBJECT

public:
    enum class RowAction { Choose, Connect, ToggleFavorite };

    explicit ServerListView(QWidget *parent = nullptr);

    // What a screen reader calls each action, in the member's language (in RowAction order).
    void setActionTexts(const QStringList &texts) { actionTexts = texts; }
    QString actionText(RowAction action) const;

    void act(const QModelIndex &index, RowAction action);

signals:
    void rowActionRequested(const QModelIndex &index, ServerListView::RowAction action);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QStringList actionTexts;
};
