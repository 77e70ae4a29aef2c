#ifndef CONFIGURATOR_COMMON_REGEXPVALIDATOR_P_H
#define CONFIGURATOR_COMMON_REGEXPVALIDATOR_P_H

#include <QRegExp>
#include <QValidator>

// Accepts what Qt 5's QRegExpValidator accepts: a text the expression matches
// whole is Acceptable, a text that is the start of a match Intermediate, and
// anything else Invalid, with the cursor put at its end.  Qt 6 keeps QRegExp
// in Core5Compat but has no validator over it; both builds use this one.
class RegExpValidator : public QValidator
{
    Q_OBJECT
public:
    RegExpValidator(const QRegExp& regExp, QObject* parent);

    QRegExp regExp() const { return m_regExp; }
    State validate(QString& input, int& pos) const override;

private:
    QRegExp m_regExp;
};

#endif // CONFIGURATOR_COMMON_REGEXPVALIDATOR_P_H
