#pragma once

#include <QDate>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QToolButton;

// The header-item field: a caption beside a text box, optionally with a
// drop-down list, a date drop-down or a browse button.
class HeadItem : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Text READ text WRITE setText)
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
public:
    enum Kind { PlainText, List, Date, Browse };

    explicit HeadItem(Kind kind = PlainText, QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);
    QString caption() const;
    void setCaption(const QString &caption);

    // List items. `first` marks the item that starts a fill.
    void addItem(const QString &text, bool first = false);
    void clearList();
    QStringList items() const;
    int listCount() const;

    QDate dateValue() const;
    void setDateValue(const QDate &date);

    bool isLocked() const { return m_locked; }
    void setLocked(bool locked);

    Kind kind() const { return m_kind; }
    QLineEdit *editor() const { return m_edit; }
    QToolButton *browseButton() const { return m_browse; }

signals:
    void browseClicked();
    void textEdited(const QString &text);

private:
    Kind m_kind;
    bool m_locked = false;
    QLabel *m_caption = nullptr;
    QLineEdit *m_edit = nullptr;
    QComboBox *m_combo = nullptr;
    QDateEdit *m_date = nullptr;
    QToolButton *m_browse = nullptr;
};
