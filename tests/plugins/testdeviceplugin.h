#ifndef TESTDEVICEPLUGIN_H
#define TESTDEVICEPLUGIN_H

#include <QUuid>

// The identity that both factories of the test device plug-in share.
static const QUuid kTestFactoryUuid(QStringLiteral("{6c1f6a53-2f0e-4d8a-9d2b-0e5a3c7b9f11}"));

// The plug-in's factories are QObjects with these object names, so the test
// can watch them being destroyed.
static const char kFirstFactoryName[] = "first-factory";
static const char kSecondFactoryName[] = "second-factory";

#endif
