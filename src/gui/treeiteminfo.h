#ifndef CONFIGURATOR_COMMON_TREEITEMINFO_H
#define CONFIGURATOR_COMMON_TREEITEMINFO_H

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

// A node of an owning tree used to describe navigation (devices and their
// pages).  A node deletes its children; the tree links are independent of the
// QObject parent.  A child deleted by other means (say, by its QObject parent)
// leaves its node's list, so it is never deleted twice.
class TreeItemInfo : public QObject
{
    Q_OBJECT
public:
    TreeItemInfo(const QString& name, const QString& displayName, QObject* parent);
    ~TreeItemInfo() override;

    // The object name.
    QString name() const;
    void setName(const QString& name);

    QString displayName() const;
    void setDisplayName(const QString& displayName);

    QVariant data() const;
    void setData(const QVariant& data);

    // Not owned; setting it leaves every child list alone.
    TreeItemInfo* parentItem() const;
    void setParentItem(TreeItemInfo* parent);

    // Takes ownership; an item belongs to one node, once.
    void addItem(TreeItemInfo* item);
    // Deletes the item if it is a child of this node.
    void removeItem(TreeItemInfo* item);
    QList<TreeItemInfo*> itemList() const;

private:
    QString m_displayName;
    QVariant m_data;
    QPointer<TreeItemInfo> m_parentItem; // not owned; null once it is gone
    // The node whose list holds this one.  Kept apart from m_parentItem, which
    // callers may set freely: only this link is followed for cycles and on
    // deletion, so it always matches the lists.
    QPointer<TreeItemInfo> m_owner;
    QList<TreeItemInfo*> m_items; // owned
};

#endif
