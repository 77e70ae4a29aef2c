#ifndef CONFIGURATOR_COMMON_TREEITEMINFO_H
#define CONFIGURATOR_COMMON_TREEITEMINFO_H

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

/// \file
/// TreeItemInfo, a node of the navigation tree.

/// A node of an owning tree used to describe navigation (devices and their
/// pages).  A node deletes its children; the tree links are independent of the
/// QObject parent.  A child deleted by other means (say, by its QObject parent)
/// leaves its node's list, so it is never deleted twice.
class TreeItemInfo : public QObject
{
    Q_OBJECT
public:
    /// Creates a node without children; \a name becomes the object name.
    TreeItemInfo(const QString& name, const QString& displayName, QObject* parent);
    /// Leaves the owning node's list and deletes every child.
    ~TreeItemInfo() override;

    /// The object name.
    QString name() const;
    /// Sets the object name.
    void setName(const QString& name);

    /// The text shown to the user.
    QString displayName() const;
    /// Sets the text shown to the user.
    void setDisplayName(const QString& displayName);

    /// The caller's value attached to the node (a device's uuid, a page id).
    QVariant data() const;
    /// Attaches a value to the node.
    void setData(const QVariant& data);

    /// Not owned, null once it is gone; setting it leaves every child list alone.
    TreeItemInfo* parentItem() const;
    /// Sets the parent link only; addItem() sets it as well.
    void setParentItem(TreeItemInfo* parent);

    /// Takes ownership; an item belongs to one node, once (it leaves its
    /// former node).  A null item or one that would contain this node is
    /// refused with a warning.
    void addItem(TreeItemInfo* item);
    /// Deletes the item if it is a child of this node.
    void removeItem(TreeItemInfo* item);
    /// The children, in the order they were added.
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
