#include "requestmanager.h"

RequestManager::RequestManager(QObject* parent)
    : QObject(parent)
{
}

RequestManager::~RequestManager()
{
    clear();
}

void RequestManager::append(const QString& name)
{
    append(name, QVariant());
}

void RequestManager::append(const QString& name, const QVariant& request)
{
    if (indexOf(name) >= 0)
        return;
    m_records.append(new RequestRecord{name, request, QVariant(), false});
}

bool RequestManager::apply(const QString& name, const QVariant& reply)
{
    const int index = indexOf(name);
    if (index < 0)
        return false;
    m_records[index]->reply = reply;
    m_records[index]->received = true;
    return true;
}

void RequestManager::reset(const QString& name)
{
    const int index = indexOf(name);
    if (index >= 0)
        m_records[index]->received = false;
}

bool RequestManager::check()
{
    for (const RequestRecord* record : qAsConst(m_records)) {
        if (!record->received)
            return false;
    }
    return true;
}

QVariant RequestManager::data(RequestDataType type, const QString& name)
{
    return data(type, indexOf(name));
}

QVariant RequestManager::data(RequestDataType type, int index)
{
    if (!isValidIndex(index))
        return QVariant();
    return field(*m_records.at(index), type);
}

int RequestManager::indexOf(const QString& name)
{
    for (int i = 0; i < m_records.size(); ++i) {
        if (name.indexOf(m_records.at(i)->name) >= 0)
            return i;
    }
    return -1;
}

bool RequestManager::isReceived(const QString& name)
{
    return isReceived(indexOf(name));
}

bool RequestManager::isReceived(int index)
{
    return isValidIndex(index) && m_records.at(index)->received;
}

void RequestManager::remove(const QString& name)
{
    const int index = indexOf(name);
    if (index >= 0)
        delete m_records.takeAt(index);
}

void RequestManager::clear()
{
    qDeleteAll(m_records);
    m_records.clear();
}

int RequestManager::size()
{
    return m_records.size();
}

QVariant RequestManager::field(const RequestRecord& record, RequestDataType type)
{
    switch (type) {
    case RequestData:
        return record.request;
    case ReplyData:
        return record.reply;
    }
    return QVariant();
}

bool RequestManager::isValidIndex(int index) const
{
    return index >= 0 && index < m_records.size();
}
