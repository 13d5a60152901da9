#pragma once

#include <QAbstractButton>
#include <QFont>
#include <QPixmap>
#include <QString>

// The toolbar's picture button: one picture per state (normal, disabled,
// mouse over, pressed) above a line of text, and a tool tip in a font of its
// own. Clicking it emits clicked() (and MouseClick()) like any button.
class PictureButton : public QAbstractButton
{
    Q_OBJECT
    Q_PROPERTY(QString PictureURL READ pictureUrl WRITE setPictureUrl)
    Q_PROPERTY(QString PictureDisableURL READ pictureDisableUrl WRITE setPictureDisableUrl)
    Q_PROPERTY(QString PictureOverURL READ pictureOverUrl WRITE setPictureOverUrl)
    Q_PROPERTY(QString PictureDownURL READ pictureDownUrl WRITE setPictureDownUrl)
    Q_PROPERTY(QString Text READ text WRITE setText)
    Q_PROPERTY(QFont TextFont READ textFont WRITE setTextFont)
    Q_PROPERTY(QFont ToolTipFont READ toolTipFont WRITE setToolTipFont)
    Q_PROPERTY(QString ToolTipString READ toolTipString WRITE setToolTipString)
public:
    enum PictureState { Normal, Disabled, Over, Down };
    Q_ENUM(PictureState)

    explicit PictureButton(QWidget *parent = nullptr);
    PictureButton(const QString &text, QWidget *parent = nullptr);

    QString pictureUrl() const { return m_urls[Normal]; }
    void setPictureUrl(const QString &path) { setPicture(Normal, path); }
    QString pictureDisableUrl() const { return m_urls[Disabled]; }
    void setPictureDisableUrl(const QString &path) { setPicture(Disabled, path); }
    QString pictureOverUrl() const { return m_urls[Over]; }
    void setPictureOverUrl(const QString &path) { setPicture(Over, path); }
    QString pictureDownUrl() const { return m_urls[Down]; }
    void setPictureDownUrl(const QString &path) { setPicture(Down, path); }

    // A file that cannot be read leaves that state without a picture; the
    // button then draws the normal one (greyed when disabled).
    void setPicture(PictureState state, const QString &path);
    QPixmap picture(PictureState state) const { return m_pictures[state]; }

    QFont textFont() const { return font(); }
    void setTextFont(const QFont &font) { setFont(font); }
    QFont toolTipFont() const { return m_toolTipFont; }
    void setToolTipFont(const QFont &font) { m_toolTipFont = font; }
    QString toolTipString() const { return toolTip(); }
    void setToolTipString(const QString &text) { setToolTip(text); }

    // The state the button is drawn in now, and the picture drawn for it.
    PictureState pictureState() const;
    QPixmap currentPicture() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void MouseClick();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QString m_urls[4];
    QPixmap m_pictures[4];
    QFont m_toolTipFont;
    bool m_hover = false;
};
