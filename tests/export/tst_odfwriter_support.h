#ifndef TST_ODFWRITER_SUPPORT_H
#define TST_ODFWRITER_SUPPORT_H

// A small element tree read with QXmlStreamReader, so that the tests can
// look at exported documents by structure.  Names are given as
// "prefix:local" with the usual OpenDocument prefixes, whatever prefixes
// the document itself declares.

#include <QBuffer>
#include <QHash>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QXmlStreamReader>

#include <functional>

struct XmlNode
{
    QString name;                      // "text:p"; "#text" for character data
    QHash<QString, QString> attributes; // "text:style-name" -> value
    QString text;                      // character data of a "#text" node
    QVector<QSharedPointer<XmlNode>> children;

    QString attribute(const QString &qualifiedName) const { return attributes.value(qualifiedName); }
    bool hasAttribute(const QString &qualifiedName) const { return attributes.contains(qualifiedName); }

    QVector<const XmlNode *> elements() const
    {
        QVector<const XmlNode *> result;
        for (const auto &child : children)
            if (child->name != QLatin1String("#text"))
                result.append(child.data());
        return result;
    }

    const XmlNode *child(const QString &qualifiedName) const
    {
        for (const auto &c : children)
            if (c->name == qualifiedName)
                return c.data();
        return nullptr;
    }

    // Every element of that name below this one, in document order.
    QVector<const XmlNode *> findAll(const QString &qualifiedName) const
    {
        QVector<const XmlNode *> result;
        std::function<void(const XmlNode *)> walk = [&](const XmlNode *node) {
            for (const auto &c : node->children) {
                if (c->name == qualifiedName)
                    result.append(c.data());
                walk(c.data());
            }
        };
        walk(this);
        return result;
    }

    const XmlNode *find(const QString &qualifiedName) const
    {
        const QVector<const XmlNode *> all = findAll(qualifiedName);
        return all.isEmpty() ? nullptr : all.first();
    }

    // The style:style (or text:list-style) element with that style:name.
    const XmlNode *style(const QString &styleName) const
    {
        for (const QString &kind : {QStringLiteral("style:style"), QStringLiteral("text:list-style")})
            for (const XmlNode *node : findAll(kind))
                if (node->attribute(QStringLiteral("style:name")) == styleName)
                    return node;
        return nullptr;
    }

    // All character data below this node, concatenated.
    QString allText() const
    {
        if (name == QLatin1String("#text"))
            return text;
        QString result;
        for (const auto &c : children)
            result += c->allText();
        return result;
    }
};

inline QString odfPrefix(const QStringRef &namespaceUri)
{
    static const QHash<QString, QString> prefixes = {
        {QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0"), QStringLiteral("office")},
        {QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0"), QStringLiteral("text")},
        {QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0"), QStringLiteral("style")},
        {QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"), QStringLiteral("fo")},
        {QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0"), QStringLiteral("table")},
        {QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"), QStringLiteral("draw")},
        {QStringLiteral("http://www.w3.org/1999/xlink"), QStringLiteral("xlink")},
        {QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"), QStringLiteral("svg")},
        {QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"), QStringLiteral("manifest")},
    };
    return prefixes.value(namespaceUri.toString(), QStringLiteral("?"));
}

// Inside paragraphs every space is text; elsewhere whitespace is indentation.
inline bool keepsWhitespace(const QString &elementName)
{
    return elementName == QLatin1String("text:p") || elementName == QLatin1String("text:span")
        || elementName == QLatin1String("text:a") || elementName == QLatin1String("text:h");
}

// Parses a whole document; a null pointer and the reader's message on error.
inline QSharedPointer<XmlNode> parseXml(const QByteArray &bytes, QString *error = nullptr)
{
    QXmlStreamReader reader(bytes);
    auto root = QSharedPointer<XmlNode>::create();
    root->name = QStringLiteral("#document");
    QVector<XmlNode *> stack{root.data()};
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            auto node = QSharedPointer<XmlNode>::create();
            node->name = odfPrefix(reader.namespaceUri()) + QLatin1Char(':') + reader.name().toString();
            for (const QXmlStreamAttribute &a : reader.attributes())
                node->attributes.insert(odfPrefix(a.namespaceUri()) + QLatin1Char(':') + a.name().toString(),
                                        a.value().toString());
            stack.last()->children.append(node);
            stack.append(node.data());
        } else if (reader.isEndElement()) {
            stack.removeLast();
        } else if (reader.isCharacters()
                   && (!reader.isWhitespace() || keepsWhitespace(stack.last()->name))) {
            auto node = QSharedPointer<XmlNode>::create();
            node->name = QStringLiteral("#text");
            node->text = reader.text().toString();
            stack.last()->children.append(node);
        }
    }
    if (reader.hasError()) {
        if (error)
            *error = reader.errorString();
        return {};
    }
    return root;
}

#endif
