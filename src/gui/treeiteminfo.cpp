#include "treeiteminfo.h"

#include <QtDebug>

TreeItemInfo::TreeItemInfo(const QString& name, const QString& displayName, QObject* parent)
    : QObject(parent)
    , m_displayName(displayName)
{
    setObjectName(name);
}

TreeItemInfo::~TreeItemInfo()
{
    if (m_owner)
        m_owner->m_items.removeOne(this);
    // Taken out first: each child's destructor looks for itself in our list.
    QList<TreeItemInfo*> children;
    children.swap(m_items);
    qDeleteAll(children);
}

QString TreeItemInfo::name() const
{
    return objectName();
}

void TreeItemInfo::setName(const QString& name)
{
    setObjectName(name);
}

QString TreeItemInfo::displayName() const
{
    return m_displayName;
}

void TreeItemInfo::setDisplayName(const QString& displayName)
{
    m_displayName = displayName;
}

QVariant TreeItemInfo::data() const
{
    return m_data;
}

void TreeItemInfo::setData(const QVariant& data)
{
    m_data = data;
}

TreeItemInfo* TreeItemInfo::parentItem() const
{
    return m_parentItem;
}

void TreeItemInfo::setParentItem(TreeItemInfo* parent)
{
    m_parentItem = parent;
}

void TreeItemInfo::addItem(TreeItemInfo* item)
{
    if (!item) {
        qDebug("TreeItem::addChild, Item is NULL");
        return;
    }
    // A node that owned one of its ancestors would delete itself.
    for (const TreeItemInfo* node = this; node; node = node->m_owner) {
        if (node == item) {
            qWarning("TreeItem::addChild, Item would contain itself");
            return;
        }
    }
    // A node deletes its children, so an item is listed by one node, once.
    if (item->m_owner && item->m_owner != this)
        item->m_owner->m_items.removeOne(item);
    item->m_owner = this;
    item->setParentItem(this);
    if (!m_items.contains(item))
        m_items.append(item);
}

void TreeItemInfo::removeItem(TreeItemInfo* item)
{
    if (!item) {
        qWarning("TreeItem::removeChild, Item is NULL");
        return;
    }
    if (m_items.removeOne(item)) {
        item->m_owner = nullptr;
        delete item;
    }
}

QList<TreeItemInfo*> TreeItemInfo::itemList() const
{
    return m_items;
}
