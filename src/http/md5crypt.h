#ifndef CONFIGURATOR_COMMON_MD5CRYPT_H
#define CONFIGURATOR_COMMON_MD5CRYPT_H

#include <QString>

/// \file
/// MD5-crypt password hashing.

/// MD5-crypt ("$1$"): returns "$1$" + salt + "$" + 22 hash characters.  The salt
/// is used whole (no prefix stripped, not cut to 8 characters); password and
/// salt enter the digests as UTF-8.
QString md5Crypt(QString salt, QString password);

/// md5Crypt() with a fresh salt of 8 letters from 'a' to 'y', drawn from the
/// system's secure random source.  The login is accepted and not used.
QString cryptPassword(const QString& login, const QString& password);

#endif
