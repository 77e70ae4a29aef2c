#include "dialogautorization.h"
#include "qtcompat_p.h"
#include "regexpvalidator_p.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <QVariantMap>

namespace {
const int kInitialWidth = 504;
const int kInitialHeight = 225;
const int kSpacerWidth = 40;
const int kSpacerHeight = 20;

// Four dot-separated numbers of at most three digits, each at most 255.  It
// also accepts the incomplete forms met while typing; pressOk() refuses those.
const char kAddressPattern[] =
    "((1{0,1}[0-9]{0,2}|2[0-4]{1,1}[0-9]{1,1}|25[0-5]{1,1})\\.){3,3}"
    "(1{0,1}[0-9]{0,2}|2[0-4]{1,1}[0-9]{1,1}|25[0-5]{1,1})";

const char kDefaultLogin[] = "user";
const char kDefaultPassword[] = "qvxj";

const char kKeyIp[] = "ip";
const char kKeyLogin[] = "login";
const char kKeyPassword[] = "password";
const char kKeySaveAuth[] = "saveauth";
}

DialogAutorization::DialogAutorization(QWidget* parent)
    : QDialog(parent)
{
    setupForm();

    connect(ui.bOk, &QPushButton::clicked, this, &DialogAutorization::pressOk);
    connect(ui.bCancel, &QPushButton::clicked, this, &DialogAutorization::close);

    const QRegExp pattern(QString::fromLatin1(kAddressPattern), Qt::CaseSensitive, QRegExp::RegExp);
    ui.tIp->setValidator(new RegExpValidator(pattern, this));
    ui.tLogin->setText(QString::fromLatin1(kDefaultLogin));
    ui.tPassword->setText(QString::fromLatin1(kDefaultPassword));
}

DialogAutorization::~DialogAutorization()
{
}

void DialogAutorization::setupForm()
{
    setObjectName(QStringLiteral("DialogAutorization"));
    resize(kInitialWidth, kInitialHeight);

    ui.verticalLayout = new QVBoxLayout(this);
    ui.verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    ui.gridLayout = new QGridLayout();
    ui.gridLayout->setObjectName(QStringLiteral("gridLayout"));

    ui.label_2 = new QLabel(this);
    ui.label_2->setObjectName(QStringLiteral("label_2"));
    ui.gridLayout->addWidget(ui.label_2, 1, 0);

    ui.tIp = new QLineEdit(this);
    ui.tIp->setObjectName(QStringLiteral("tIp"));
    ui.tIp->setFrame(true);
    ui.gridLayout->addWidget(ui.tIp, 1, 1);

    ui.label_3 = new QLabel(this);
    ui.label_3->setObjectName(QStringLiteral("label_3"));
    ui.gridLayout->addWidget(ui.label_3, 3, 0);

    ui.tPassword = new QLineEdit(this);
    ui.tPassword->setObjectName(QStringLiteral("tPassword"));
    ui.tPassword->setEchoMode(QLineEdit::Password);
    ui.gridLayout->addWidget(ui.tPassword, 4, 1);

    ui.label_4 = new QLabel(this);
    ui.label_4->setObjectName(QStringLiteral("label_4"));
    ui.gridLayout->addWidget(ui.label_4, 4, 0);

    ui.tLogin = new QLineEdit(this);
    ui.tLogin->setObjectName(QStringLiteral("tLogin"));
    ui.gridLayout->addWidget(ui.tLogin, 3, 1);

    ui.cbSaveParams = new QCheckBox(this);
    ui.cbSaveParams->setObjectName(QStringLiteral("cbSaveParams"));
    ui.cbSaveParams->setChecked(true);
    ui.cbSaveParams->setEnabled(false);
    ui.gridLayout->addWidget(ui.cbSaveParams, 5, 1);

    ui.label = new QLabel(this);
    ui.label->setObjectName(QStringLiteral("label"));
    ui.gridLayout->addWidget(ui.label, 2, 0, 1, 2);

    ui.gridSpacer = new QSpacerItem(kSpacerWidth, kSpacerHeight,
                                    QSizePolicy::Expanding, QSizePolicy::Minimum);
    ui.gridLayout->addItem(ui.gridSpacer, 6, 0);

    ui.verticalLayout->addLayout(ui.gridLayout);

    ui.horizontalLayout = new QHBoxLayout();
    ui.horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    ui.buttonSpacer = new QSpacerItem(kSpacerWidth, kSpacerHeight,
                                      QSizePolicy::Expanding, QSizePolicy::Minimum);
    ui.horizontalLayout->addItem(ui.buttonSpacer);

    ui.bOk = new QPushButton(this);
    ui.bOk->setObjectName(QStringLiteral("bOk"));
    ui.horizontalLayout->addWidget(ui.bOk);

    ui.bCancel = new QPushButton(this);
    ui.bCancel->setObjectName(QStringLiteral("bCancel"));
    ui.horizontalLayout->addWidget(ui.bCancel);

    ui.verticalLayout->addLayout(ui.horizontalLayout);

    QWidget::setTabOrder(ui.tIp, ui.tLogin);
    QWidget::setTabOrder(ui.tLogin, ui.tPassword);
    QWidget::setTabOrder(ui.tPassword, ui.cbSaveParams);
    QWidget::setTabOrder(ui.cbSaveParams, ui.bOk);
    QWidget::setTabOrder(ui.bOk, ui.bCancel);

    retranslateForm();
}

void DialogAutorization::retranslateForm()
{
    setWindowTitle(tr("Autorization"));
    ui.label_2->setText(tr("IP Address:"));
    ui.label_3->setText(tr("User name:"));
    ui.label_4->setText(tr("Password:"));
    ui.cbSaveParams->setText(tr("Remember authorization parameters"));
    ui.label->setText(tr("To gain access to the device, you must specify a user name and password."));
    ui.bOk->setText(tr("OK"));
    ui.bCancel->setText(tr("Cancel"));
}

void DialogAutorization::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateForm();
    QDialog::changeEvent(event);
}

void DialogAutorization::setData(const QVariant& data)
{
    const QVariantMap map = data.toMap();
    const struct {
        const char* key;
        QLineEdit* field;
    } fields[] = {
        {kKeyIp, ui.tIp},
        {kKeyLogin, ui.tLogin},
        {kKeyPassword, ui.tPassword},
    };
    for (const auto& entry : fields) {
        const QVariant value = map.value(QLatin1String(entry.key));
        if (!QtCompat::isNull(value))
            entry.field->setText(value.toString());
    }
}

QVariant DialogAutorization::data() const
{
    QVariantMap map;
    map.insert(QLatin1String(kKeyIp), ui.tIp->text());
    map.insert(QLatin1String(kKeyLogin), ui.tLogin->text());
    map.insert(QLatin1String(kKeyPassword), ui.tPassword->text());
    map.insert(QLatin1String(kKeySaveAuth), ui.cbSaveParams->isChecked());
    return map;
}

void DialogAutorization::pressOk()
{
    const QString address = ui.tIp->text().simplified();
    if (address.isEmpty()) {
        warn(tr("Enter the IP address"));
        return;
    }
    QHostAddress host;
    if (!host.setAddress(address)) {
        warn(tr("Check the entered IP Address"));
        return;
    }
    if (ui.tLogin->text().simplified().isEmpty()) {
        warn(tr("Enter login"));
        return;
    }
    if (ui.tPassword->text().simplified().isEmpty()) {
        warn(tr("Enter password"));
        return;
    }
    accept();
}

void DialogAutorization::warn(const QString& message)
{
    QMessageBox::warning(this, tr("Adding a device"), message, QMessageBox::Ok);
}
