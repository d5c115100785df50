#pragma once

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QtQml/qqmlregistration.h>

namespace brivet {

// The colours the views need beyond the palette's roles, each chosen to read well against the
// program's palette (light or dark): red for destructive actions, blue for links, and the
// hairline that edges cards and fields. Follows the palette as it changes, as SystemPalette
// does. QML: `StatusColors { id: colors }`, then `colors.destructive`.
class StatusColors : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QColor destructive READ destructive NOTIFY changed)
    Q_PROPERTY(QColor link READ link NOTIFY changed)
    Q_PROPERTY(QColor hairline READ hairline NOTIFY changed)
public:
    explicit StatusColors(QObject* parent = nullptr);

    QColor destructive() const { return destructive(m_palette); }
    QColor link() const { return link(m_palette); }
    QColor hairline() const { return hairline(m_palette); }

    static QColor destructive(const QPalette& palette);
    static QColor link(const QPalette& palette);
    static QColor hairline(const QPalette& palette);
    // True when the palette draws light text on a dark window.
    static bool isDark(const QPalette& palette);

signals:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPalette m_palette;
};

} // namespace brivet
