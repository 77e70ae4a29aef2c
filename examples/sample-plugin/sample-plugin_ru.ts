<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>SamplePage</name>
    <message>
        <source>Instrument</source>
        <translation>Прибор</translation>
    </message>
    <message>
        <source>Identification</source>
        <translation>Идентификация</translation>
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
        <source>Reading</source>
        <translation>Показание</translation>
    </message>
    <message>
        <source>Measurement</source>
        <translation>Измерение</translation>
    </message>
    <message>
        <source> s</source>
        <translation> с</translation>
    </message>
    <message>
        <source>Interval</source>
        <translation>Интервал</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Единица</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>Прочитать</translation>
    </message>
    <message>
        <source>Write</source>
        <translation>Записать</translation>
    </message>
    <message>
        <source>Measurement log</source>
        <translation>Журнал измерений</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Загрузить</translation>
    </message>
    <message>
        <source>%1 readings</source>
        <translation>Показаний: %1</translation>
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
</TS>
