#include "views/CategoryBarState.h"

#include "store/ModelContext.h"
#include "store/Palette.h"
#include "views/Colors.h"
#include "views/ClipboardPanelViewState.h"
#include "views/ViewsLogging.h"

#include <QVariantMap>

namespace brivet {

CategoryBarState::CategoryBarState(ModelContext& context, ClipboardPanelViewState& panel,
                                   QObject* parent)
    : QObject(parent), m_context(context), m_panel(panel)
{
    connect(&m_context, &ModelContext::changed, this, [this](const ModelChange& change) {
        if (change.entity == ModelChange::Entity::Category ||
            change.kind == ModelChange::Kind::RolledBack)
            reload();
    });
    reload();
}

void CategoryBarState::reload()
{
    const QList<Category> fetched = m_context.fetch(CategoryFetch{}).value_or(QList<Category>());
    QVariantList categories;
    bool hasSelected = m_panel.selectedCategoryId().isNull();
    bool hasEdited = false;
    for (const Category& category : fetched) {
        categories.append(QVariantMap{
            {QStringLiteral("id"), category.id.toString(QUuid::WithoutBraces)},
            // The built-in category's stored name is the same on every device; it is shown
            // in the user's language.
            {QStringLiteral("name"), category.isDefault ? tr("Clipboard History") : category.name},
            {QStringLiteral("colorHex"), category.colorHex},
            {QStringLiteral("isDefault"), category.isDefault},
        });
        hasSelected = hasSelected || category.id == m_panel.selectedCategoryId();
        hasEdited = hasEdited || category.id == m_editingCategoryId;
    }
    m_categories = categories;
    emit categoriesChanged();
    // A category that went away by any path (a delete here, a sync) takes its filter and its
    // editor with it: the history falls back to all items.
    if (!hasSelected)
        m_panel.selectCategory(QString());
    if (!hasEdited)
        setShowingEditor(false);
}

std::optional<Category> CategoryBarState::find(const QUuid& id) const
{
    const QList<Category> all = m_context.fetch(CategoryFetch{}).value_or(QList<Category>());
    for (const Category& category : all)
        if (category.id == id)
            return category;
    return std::nullopt;
}

QVariantList CategoryBarState::palette() const
{
    QVariantList result;
    for (const PaletteColor& color : categoryPalette)
        result.append(QVariantMap{{QStringLiteral("name"), QString::fromLatin1(color.name)},
                                  {QStringLiteral("hex"), QString::fromLatin1(color.hex)}});
    return result;
}

void CategoryBarState::setEditName(const QString& name)
{
    if (name == m_editName)
        return;
    m_editName = name;
    emit editNameChanged();
}

void CategoryBarState::setEditColorHex(const QString& hex)
{
    if (hex == m_editColorHex)
        return;
    m_editColorHex = hex;
    emit editColorHexChanged();
}

bool CategoryBarState::isSelected(const QString& id) const
{
    const QUuid uuid(id);
    const QUuid selected = m_panel.selectedCategoryId();
    if (!selected.isNull())
        return uuid == selected;
    for (const QVariant& entry : m_categories) {
        const QVariantMap map = entry.toMap();
        if (QUuid(map.value(QStringLiteral("id")).toString()) == uuid)
            return map.value(QStringLiteral("isDefault")).toBool();
    }
    return false;
}

QColor CategoryBarState::colorOf(const QString& colorHex) const
{
    return colorFromHex(colorHex);
}

void CategoryBarState::select(const QString& id)
{
    // The panel knows which category is the default one and clears the filter for it.
    m_panel.selectCategory(id);
}

void CategoryBarState::addCategory()
{
    Category category(newCategoryName(), newCategoryColorHex(), m_categories.size(), false);
    m_context.insert(category);
    saveContext("new category");
    openEditor(category);
}

void CategoryBarState::edit(const QString& id)
{
    if (const std::optional<Category> category = find(QUuid(id)))
        openEditor(*category);
}

void CategoryBarState::remove(const QString& id)
{
    const std::optional<Category> category = find(QUuid(id));
    if (!category || category->isDefault)
        return;
    if (m_panel.selectedCategoryId() == category->id)
        m_panel.selectCategory(QString());
    m_context.remove(*category);
    saveContext("category deletion");
}

void CategoryBarState::save()
{
    std::optional<Category> category = find(m_editingCategoryId);
    if (!category)
        return;
    // Stored as typed: an empty name leaves a chip with only its dot.
    category->name = m_editName;
    category->colorHex = m_editColorHex;
    m_context.update(*category);
    saveContext("category change");
    setShowingEditor(false);
}

void CategoryBarState::dismissEditor()
{
    setShowingEditor(false);
}

void CategoryBarState::openEditor(const Category& category)
{
    m_editingCategoryId = category.id;
    setEditName(category.name);
    setEditColorHex(category.colorHex);
    setShowingEditor(true);
}

void CategoryBarState::setShowingEditor(bool showing)
{
    if (showing == m_isShowingEditor)
        return;
    m_isShowingEditor = showing;
    emit isShowingEditorChanged();
}

void CategoryBarState::saveContext(const char* what)
{
    // The change stays in the context and goes with the next save that works.
    if (!m_context.save())
        qCDebug(lcViews) << what << "not saved yet:" << m_context.lastError();
}

} // namespace brivet
