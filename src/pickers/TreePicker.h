#pragma once

#include "pickers/PickerStore.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// A modal picker of one entry of a level-coded hierarchy (departments,
// warehouse locations). The whole hierarchy is read once when the picker is
// built and shown fully expanded under a fixed root.
class TreePicker : public QDialog
{
    Q_OBJECT
public:
    struct Config
    {
        QString formName; // window name, also the form of its messages
        QString caption;
        QString rootText;
        QString table;
        QString codeColumn;
        QString nameColumn;
        QString numberColumn; // read with each row, or empty
        QString emptyMessage; // shown when the hierarchy has no entry
    };

    static constexpr int KeyRole = Qt::UserRole + 1;
    static constexpr int ImageRole = Qt::UserRole + 2; // 1 closed, 2 expanded
    static constexpr int NumberRole = Qt::UserRole + 3;
    static inline const QString RootKey = QStringLiteral("A");

    QString currentKey() const { return m_currentKey; }

protected:
    // Reads the hierarchy; a failing query throws to the caller.
    TreePicker(const Config &config, QWidget *parent);

    // Stores the chosen node's values as the picker's results.
    virtual void takeChoice(const QTreeWidgetItem *node) = 0;

    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void loadTree();
    void choose();
    void okClicked();

    Config m_config;
    QTreeWidget *m_tree = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_quit = nullptr;
    QString m_currentKey;
};

// The department picker of the document windows.
class FrmOrg final : public TreePicker
{
    Q_OBJECT
public:
    static FrmOrg &obtain(QWidget *parent = nullptr);
    static void release();

    QString Org_No() const { return m_orgNo; }
    QString Org_Name() const { return m_orgName; }
    QString Org_ID() const { return m_orgId; }

private:
    explicit FrmOrg(QWidget *parent);
    void takeChoice(const QTreeWidgetItem *node) override;

    QString m_orgNo;
    QString m_orgName;
    QString m_orgId;
};

// The warehouse-location picker of the line entry dialog.
class FrmBar_Tree final : public TreePicker
{
    Q_OBJECT
public:
    static FrmBar_Tree &obtain(QWidget *parent = nullptr);
    static void release();

    QString Bar_Name() const { return m_barName; }
    QString Bar_ID() const { return m_barId; }

private:
    explicit FrmBar_Tree(QWidget *parent);
    void takeChoice(const QTreeWidgetItem *node) override;

    QString m_barName;
    QString m_barId;
};
