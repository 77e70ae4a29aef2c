#ifndef CONFIGURATOR_COMMON_RESTCONNECTION_P_H
#define CONFIGURATOR_COMMON_RESTCONNECTION_P_H

#include "restconnection.h"

#include <QList>

class QBuffer;

class RestConnectionPrivate
{
public:
    // A response without a length: its content runs to the end of the stream.
    static const qint64 kUntilClose = -1;

    RestConnection::State readState = RestConnection::StateStartLine;
    RestConnection::State writeState = RestConnection::StateStartLine;
    QIODevice* device = nullptr;
    QList<RestMessage*> receivedQueue;
    QList<RestMessage*> sendQueue;
    RestMessage* reading = nullptr;
    // The "Content-Length" of the message being read, or kUntilClose.
    qint64 declaredLength = 0;
    // Bytes of the header block read so far, bounded by kMaxHeaderBlockSize.
    qint64 headerBytes = 0;
    QBuffer* readBuffer = nullptr;
    RestMessage* writing = nullptr;
    // Set while the machines run, so that a handler's nested event loop or a
    // flush inside the writer does not restart them halfway.
    bool inRead = false;
    bool inWrite = false;
};

#endif // CONFIGURATOR_COMMON_RESTCONNECTION_P_H
