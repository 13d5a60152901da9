#pragma once

#include <QDate>
#include <QStringList>
#include <QWidget>

class QCalendarWidget;
class QComboBox;
class QFrame;
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

    // The field's date; invalid when its text is none.
    QDate dateValue() const;
    void setDateValue(const QDate &date);
    // The date drop-down: opens on the field's date (today when the text is
    // none); a click writes the day into the text, Esc closes only the drop-down.
    void showCalendar();
    QToolButton *dropDownButton() const { return m_dropDown; }
    // The open drop-down's calendar, or nullptr while it is closed.
    QCalendarWidget *calendar() const;

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
    QToolButton *m_dropDown = nullptr;
    QFrame *m_popup = nullptr;
    QCalendarWidget *m_calendar = nullptr;
    QToolButton *m_browse = nullptr;
};
