<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>Host</name>
    <message>
        <source>no device plug-in was found in %1</source>
        <translation>в %1 не найден ни один модуль устройств</translation>
    </message>
    <message numerus="yes">
        <source>%n device factories are loaded; choose one with --factory NAME or --factory {UUID}:</source>
        <translation>
            <numerusform>загружена %n фабрика устройств; выберите одну параметром --factory ИМЯ или --factory {UUID}:</numerusform>
            <numerusform>загружено %n фабрики устройств; выберите одну параметром --factory ИМЯ или --factory {UUID}:</numerusform>
            <numerusform>загружено %n фабрик устройств; выберите одну параметром --factory ИМЯ или --factory {UUID}:</numerusform>
        </translation>
    </message>
    <message>
        <source>no loaded factory is called &quot;%1&quot;; choose one with --factory NAME or --factory {UUID}:</source>
        <translation>среди загруженных нет фабрики «%1»; выберите фабрику параметром --factory ИМЯ или --factory {UUID}:</translation>
    </message>
    <message>
        <source>the connection to %1 was refused: nothing listens on that port</source>
        <translation>соединение с %1 отклонено: на этом порту никто не отвечает</translation>
    </message>
    <message>
        <source>no answer from %1 within the time-out of %2 ms</source>
        <translation>нет ответа от %1 за время ожидания %2 мс</translation>
    </message>
    <message>
        <source>cannot connect to %1: %2</source>
        <translation>не удаётся подключиться к %1: %2</translation>
    </message>
    <message>
        <source>the instrument at %1 refused the login &quot;%2&quot;: wrong login or password</source>
        <translation>прибор %1 отклонил вход «%2»: неверное имя пользователя или пароль</translation>
    </message>
    <message>
        <source>no usable reply from %1 (status %2)</source>
        <translation>нет пригодного ответа от %1 (состояние %2)</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Configurator: %1</source>
        <translation>Конфигуратор: %1</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Устройство</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>Devices</source>
        <translation>Устройства</translation>
    </message>
    <message>
        <source>Add device...</source>
        <translation>Добавить устройство...</translation>
    </message>
    <message>
        <source>Export report</source>
        <translation>Экспорт отчёта</translation>
    </message>
    <message>
        <source>Connecting to %1:%2...</source>
        <translation>Подключение к %1:%2...</translation>
    </message>
    <message>
        <source>%1 at %2: online</source>
        <translation>%1 по адресу %2: на связи</translation>
    </message>
    <message>
        <source>No answer from %1 within the time-out</source>
        <translation>Нет ответа от %1 за время ожидания</translation>
    </message>
    <message>
        <source>The instrument at %1 refused the login &quot;%2&quot;: wrong login or password</source>
        <translation>Прибор %1 отклонил вход «%2»: неверное имя пользователя или пароль</translation>
    </message>
    <message>
        <source>OpenDocument text (*.odt)</source>
        <translation>Текст OpenDocument (*.odt)</translation>
    </message>
    <message>
        <source>Report written to %1</source>
        <translation>Отчёт записан в %1</translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>Не удаётся записать %1: %2</translation>
    </message>
    <message>
        <source>%1 at %2:%3: online</source>
        <translation>%1 по адресу %2:%3: на связи</translation>
    </message>
</context>
</TS>
