#ifndef FAKECONNECTION_H
#define FAKECONNECTION_H

#include <configurator-common/connection.h>

// A transport that sends nothing: a test plays the device's side by emitting
// the connection's signals itself.
class FakeConnection : public Connection
{
public:
    FakeConnection() { ++live; }
    ~FakeConnection() override { --live; }

    // How many slots a signal reaches, e.g. receiverCount(SIGNAL(connected())).
    int receiverCount(const char* signal) const { return receivers(signal); }
    // Live FakeConnection objects in the process.
    static int liveCount() { return live; }

private:
    inline static int live = 0;
};

#endif
