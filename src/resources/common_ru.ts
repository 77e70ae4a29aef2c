<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="en_US">
<context>
    <name>DialogAutorization</name>
    <message>
        <source>Autorization</source>
        <translation>Авторизация</translation>
    </message>
    <message>
        <source>IP Address:</source>
        <translation>IP-адрес:</translation>
    </message>
    <message>
        <source>User name:</source>
        <translation>Имя пользователя:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Пароль:</translation>
    </message>
    <message>
        <source>Remember authorization parameters</source>
        <translation>Запомнить параметры авторизации</translation>
    </message>
    <message>
        <source>To gain access to the device, you must specify a user name and password.</source>
        <translation>Для доступа к устройству необходимо указать имя пользователя и пароль.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Adding a device</source>
        <translation>Добавление устройства</translation>
    </message>
    <message>
        <source>Enter the IP address</source>
        <translation>Введите IP-адрес</translation>
    </message>
    <message>
        <source>Check the entered IP Address</source>
        <translation>Проверьте введённый IP-адрес</translation>
    </message>
    <message>
        <source>Enter login</source>
        <translation>Введите имя пользователя</translation>
    </message>
    <message>
        <source>Enter password</source>
        <translation>Введите пароль</translation>
    </message>
</context>
<context>
    <name>PluginManagerPrivate</name>
    <message>
        <source>Plugins directory does not exist</source>
        <translation>Каталог подключаемых модулей не существует</translation>
    </message>
</context>
<context>
    <name>ReportGenerator</name>
    <message>
        <source>No readings</source>
        <translation>Нет показаний</translation>
    </message>
    <message>
        <source>Time (UTC)</source>
        <translation>Время (UTC)</translation>
    </message>
    <message>
        <source>Reading number</source>
        <translation>Номер показания</translation>
    </message>
    <message>
        <source>Reading</source>
        <translation>Показание</translation>
    </message>
    <message>
        <source>Reading, %1</source>
        <translation>Показание, %1</translation>
    </message>
    <message>
        <source>The instrument&apos;s log was not downloaded.</source>
        <translation>Журнал прибора не загружен.</translation>
    </message>
    <message>
        <source>%1 readings from %2 to %3 UTC; minimum %4 %6, maximum %5 %6.</source>
        <translation>%1 показаний с %2 по %3 UTC; минимум %4 %6, максимум %5 %6.</translation>
    </message>
    <message>
        <source>Device report</source>
        <translation>Отчёт об устройстве</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Описание</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Модель</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Заводской номер</translation>
    </message>
    <message>
        <source>Production date</source>
        <translation>Дата выпуска</translation>
    </message>
    <message>
        <source>Accuracy class</source>
        <translation>Класс точности</translation>
    </message>
    <message>
        <source>Verification certificate</source>
        <translation>Свидетельство о поверке</translation>
    </message>
    <message>
        <source>Last verification</source>
        <translation>Последняя поверка</translation>
    </message>
    <message>
        <source>Next verification</source>
        <translation>Следующая поверка</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <source>Measurement log</source>
        <translation>Журнал измерений</translation>
    </message>
    <message>
        <source>Online</source>
        <translation>В сети</translation>
    </message>
    <message>
        <source>No response</source>
        <translation>Нет ответа</translation>
    </message>
    <message>
        <source>Authorization required</source>
        <translation>Требуется авторизация</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Неизвестно</translation>
    </message>
</context>
<context>
    <name>SsdpDevice</name>
    <message>
        <source>Can&apos;t send SSDP request</source>
        <translation>Не удалось отправить SSDP-запрос</translation>
    </message>
    <message>
        <source>Can&apos;t send SSDP reply</source>
        <translation>Не удалось отправить SSDP-ответ</translation>
    </message>
</context>
</TS>
