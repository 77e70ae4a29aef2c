#include "regexpvalidator_p.h"

RegExpValidator::RegExpValidator(const QRegExp& regExp, QObject* parent)
    : QValidator(parent)
    , m_regExp(regExp)
{
}

QValidator::State RegExpValidator::validate(QString& input, int& pos) const
{
    // exactMatch() leaves the length that could be matched in matchedLength(),
    // which reaches the end of the text when the text starts a match.
    QRegExp regExp = m_regExp;
    if (regExp.exactMatch(input))
        return Acceptable;
    if (regExp.matchedLength() == input.size())
        return Intermediate;
    pos = input.size();
    return Invalid;
}
