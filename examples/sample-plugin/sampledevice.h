#ifndef SAMPLEDEVICE_H
#define SAMPLEDEVICE_H

#include <configurator-common/device.h>

// The simulated measuring instrument.  Device's constructor is protected, so
// every plug-in supplies its own subclass, even one that adds nothing.
class SampleDevice : public Device
{
    Q_OBJECT
public:
    explicit SampleDevice(IDeviceFactory* factory, QObject* parent = 0)
        : Device(factory, parent)
    {
    }
};

#endif
