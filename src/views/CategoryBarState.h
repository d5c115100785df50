#pragma once

#include "store/Category.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QUuid>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace brivet {

class ClipboardPanelViewState;
class ModelContext;

// The category bar's rules: which chips it shows (every category, by order, following the
// store), which one is selected (the panel's category filter, written back to the panel), and
// the store writes of "+", "Edit", "Delete" and the editor's "Save". Also the editor's own
// state: the category it writes to, the name and colour being edited, and whether it is open.
// Main thread only.
class CategoryBarState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the panel controller")
    // Each entry: id, name, colorHex, isDefault.
    Q_PROPERTY(QVariantList categories READ categories NOTIFY categoriesChanged)
    // The palette the editor offers, in order; each entry: name, hex.
    Q_PROPERTY(QVariantList palette READ palette CONSTANT)
    Q_PROPERTY(bool isShowingEditor READ isShowingEditor NOTIFY isShowingEditorChanged)
    Q_PROPERTY(QString editName READ editName WRITE setEditName NOTIFY editNameChanged)
    Q_PROPERTY(
        QString editColorHex READ editColorHex WRITE setEditColorHex NOTIFY editColorHexChanged)
public:
    static QString newCategoryName() { return QStringLiteral("New Category"); }
    static QString newCategoryColorHex() { return QStringLiteral("#FF9500"); }

    CategoryBarState(ModelContext& context, ClipboardPanelViewState& panel,
                     QObject* parent = nullptr);

    QVariantList categories() const { return m_categories; }
    QVariantList palette() const;
    bool isShowingEditor() const { return m_isShowingEditor; }
    QString editName() const { return m_editName; }
    void setEditName(const QString& name);
    QString editColorHex() const { return m_editColorHex; }
    void setEditColorHex(const QString& hex);

    // Whether the chip of this category shows as selected (bind to the panel's
    // selectedCategoryId to follow it).
    Q_INVOKABLE bool isSelected(const QString& id) const;
    // A category's colour text as a colour (black when unreadable).
    Q_INVOKABLE QColor colorOf(const QString& colorHex) const;
    // A tap on a chip: the default one clears the panel's filter, any other sets it.
    Q_INVOKABLE void select(const QString& id);
    // "+": a new category at the end of the bar, saved, with the editor open on it.
    Q_INVOKABLE void addCategory();
    // The chip's "Edit": the editor open on the category.
    Q_INVOKABLE void edit(const QString& id);
    // The chip's "Delete": the category goes, its items stay; a selected one is unselected.
    Q_INVOKABLE void remove(const QString& id);
    // The editor's "Save": name and colour written to the category and the editor closed.
    Q_INVOKABLE void save();
    // "Cancel" or a click outside the editor: closes it, writes nothing.
    Q_INVOKABLE void dismissEditor();

signals:
    void categoriesChanged();
    void isShowingEditorChanged();
    void editNameChanged();
    void editColorHexChanged();

private:
    void reload();
    std::optional<Category> find(const QUuid& id) const;
    void openEditor(const Category& category);
    void setShowingEditor(bool showing);
    void saveContext(const char* what);

    ModelContext& m_context;
    ClipboardPanelViewState& m_panel;
    QVariantList m_categories;
    QUuid m_editingCategoryId;
    QString m_editName;
    QString m_editColorHex = newCategoryColorHex();
    bool m_isShowingEditor = false;
};

} // namespace brivet
