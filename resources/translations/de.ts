<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>MainWidget</name>
    <message>
        <source>cancel-button</source>
        <translation>ABBRECHEN</translation>
    </message>
    <message>
        <source>close-button</source>
        <translation>SCHLIESSEN</translation>
    </message>
    <message>
        <source>continue-button</source>
        <translation>WEITER</translation>
    </message>
    <message>
        <source>default-keyboard-name</source>
        <translation>Tastatur</translation>
    </message>
    <message>
        <source>default-mouse-name</source>
        <translation>Maus</translation>
    </message>
    <message>
        <source>detecting-devices-header</source>
        <translation>IHRE GERÄTE &lt;br&gt;WERDEN GESUCHT</translation>
    </message>
    <message>
        <source>detecting-devices-text</source>
        <translation>&lt;p&gt;Dies kann einige Minuten dauern.&lt;/p&gt;&lt;p&gt;Bitte schalten Sie Ihre Tarnwick-Produkte nicht aus.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>device-update-succeeded-text</source>
        <translation>Klicken Sie auf „Weiter“, um fortzufahren.</translation>
    </message>
    <message>
        <source>devices-up-to-date-header</source>
        <translation>ALLE TARNWICK-PRODUKTE &lt;br&gt;SIND AKTUELL</translation>
    </message>
    <message>
        <source>devices-up-to-date-text</source>
        <translation>Keines Ihrer Tarnwick-Produkte muss aktualisiert werden.</translation>
    </message>
    <message>
        <source>dfu-progress-label</source>
        <translation>%1&lt;sup&gt;%&lt;/sup&gt;</translation>
    </message>
    <message>
        <source>do-not-update-button</source>
        <translation>NICHT AKTUALISIEREN</translation>
    </message>
    <message>
        <source>keyboard-connection-lost-header</source>
        <translation>KEINE VERBINDUNG &lt;br&gt;ZUR TASTATUR</translation>
    </message>
    <message>
        <source>keyboard-connection-lost-text</source>
        <translation>Die Verbindung zu Ihrer %1 konnte nicht wiederhergestellt werden. Bitte stellen Sie sicher, dass sie mit dem Empfänger oder über Bluetooth verbunden ist.</translation>
    </message>
    <message>
        <source>keyboard-update-ready-header</source>
        <translation>IHRE TASTATUR IST &lt;br&gt;BEREIT ZUR AKTUALISIERUNG</translation>
    </message>
    <message>
        <source>keyboard-update-ready-text</source>
        <translation>Trennen Sie Ihre %1 während der Aktualisierung nicht.</translation>
    </message>
    <message>
        <source>keyboard-update-succeeded-header</source>
        <translation>IHRE TASTATUR WURDE ERFOLGREICH AKTUALISIERT</translation>
    </message>
    <message>
        <source>low-battery-header</source>
        <translation>DER AKKU DER TASTATUR IST FAST LEER</translation>
    </message>
    <message>
        <source>low-battery-text</source>
        <translation>Bitte laden Sie Ihre %1, bevor Sie die Firmware aktualisieren.</translation>
    </message>
    <message>
        <source>mouse-connection-lost-header</source>
        <translation>KEINE VERBINDUNG &lt;br&gt;ZUR MAUS</translation>
    </message>
    <message>
        <source>mouse-low-battery-header</source>
        <translation>DER AKKU DER MAUS IST FAST LEER</translation>
    </message>
    <message>
        <source>mouse-update-ready-header</source>
        <translation>IHRE MAUS IST &lt;br&gt;BEREIT ZUR AKTUALISIERUNG</translation>
    </message>
    <message>
        <source>mouse-update-succeeded-header</source>
        <translation>IHRE MAUS WURDE ERFOLGREICH AKTUALISIERT</translation>
    </message>
    <message>
        <source>next-button</source>
        <translation>WEITER</translation>
    </message>
    <message>
        <source>no-other-devices-to-update-header</source>
        <translation>SIE HABEN KEINE WEITEREN GERÄTE ZU AKTUALISIEREN</translation>
    </message>
    <message>
        <source>no-other-devices-to-update-text</source>
        <translation>Sie können dieses Programm jederzeit wieder starten, um Ihre Tarnwick-Produkte zu aktualisieren.</translation>
    </message>
    <message>
        <source>plug-receivers-header</source>
        <translation>BITTE SCHLIESSEN SIE EIN GERÄT ODER EINEN EMPFÄNGER AN</translation>
    </message>
    <message>
        <source>plug-receivers-text</source>
        <translation>Es wurden keine Geräte oder Empfänger an diesem Computer gefunden. Die Erkennung Ihres Geräts kann etwas länger dauern, bitte warten Sie auf dieser Seite.</translation>
    </message>
    <message>
        <source>receiver-connection-lost-header</source>
        <translation>KEINE VERBINDUNG &lt;br&gt;ZUM EMPFÄNGER</translation>
    </message>
    <message>
        <source>receiver-connection-lost-text</source>
        <translation>&lt;p&gt;Die Verbindung zu Ihrem Empfänger konnte nicht wiederhergestellt werden.&lt;/p&gt;&lt;p&gt;Bitte stellen Sie sicher, dass er an Ihrem %1 angeschlossen ist.&lt;/p&gt;&lt;p&gt;Ist der Empfänger bereits angeschlossen, ziehen Sie ihn ab und stecken Sie ihn wieder ein.&lt;/p&gt;&lt;p&gt;Schließen Sie das Aktualisierungsprogramm nicht.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>receiver-update-failed-header</source>
        <translation>ETWAS IST SCHIEFGEGANGEN &lt;br&gt;BITTE WENDEN SIE SICH AN DEN SUPPORT</translation>
    </message>
    <message>
        <source>receiver-update-failed-retrying-header</source>
        <translation>ETWAS IST SCHIEFGEGANGEN &lt;br&gt;NEUER VERSUCH &lt;br&gt;IN %1 SEKUNDEN</translation>
    </message>
    <message>
        <source>receiver-update-failed-retrying-text</source>
        <translation>&lt;p&gt;Ihr Empfänger konnte nicht aktualisiert werden.&lt;/p&gt;&lt;p&gt;Wir versuchen es noch einmal.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>receiver-update-failed-text</source>
        <translation>&lt;p&gt;Ihr Empfänger konnte nicht aktualisiert werden.&lt;/p&gt;&lt;p&gt;Wenden Sie sich an unseren &lt;b&gt;Kundendienst&lt;/b&gt;.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>receiver-update-ready-header</source>
        <translation>IHR EMPFÄNGER IST &lt;br&gt;BEREIT ZUR AKTUALISIERUNG</translation>
    </message>
    <message>
        <source>receiver-update-ready-text</source>
        <translation>Entfernen Sie Ihren Empfänger während der Aktualisierung nicht.</translation>
    </message>
    <message>
        <source>retry-timer-header</source>
        <translation>ETWAS IST SCHIEFGEGANGEN&lt;br&gt; NEUER VERSUCH&lt;br&gt; IN %1 %2</translation>
    </message>
    <message>
        <source>second-text</source>
        <translation>SEKUNDE</translation>
    </message>
    <message>
        <source>seconds-text</source>
        <translation>SEKUNDEN</translation>
    </message>
    <message>
        <source>support-page-button</source>
        <translation>SUPPORT-SEITE</translation>
    </message>
    <message>
        <source>turn-device-off-and-on-header</source>
        <translation>BITTE SCHALTEN SIE IHRE TASTATUR AUS UND WIEDER EIN</translation>
    </message>
    <message>
        <source>turn-device-off-and-on-text</source>
        <translation>Schauen Sie auf die Rückseite Ihrer %1 und schalten Sie Ihre %1 aus und wieder ein.</translation>
    </message>
    <message>
        <source>turn-mouse-off-and-on-header</source>
        <translation>BITTE SCHALTEN SIE IHRE MAUS AUS UND WIEDER EIN</translation>
    </message>
    <message>
        <source>unplug-receivers-header</source>
        <translation>BITTE SCHLIESSEN SIE NUR EINEN EMPFÄNGER AN</translation>
    </message>
    <message>
        <source>unplug-receivers-text</source>
        <translation>Bitte stellen Sie sicher, dass nur ein Tarnwick-Empfänger an Ihrem %1 angeschlossen ist.</translation>
    </message>
    <message>
        <source>update-button</source>
        <translation>AKTUALISIEREN</translation>
    </message>
    <message>
        <source>update-failed-header</source>
        <translation>ETWAS IST SCHIEFGEGANGEN&lt;br&gt; BITTE WENDEN SIE SICH AN DEN SUPPORT</translation>
    </message>
    <message>
        <source>update-failed-retrying-header</source>
        <translation>ETWAS IST SCHIEFGEGANGEN &lt;br&gt;NEUER VERSUCH &lt;br&gt;IN %1 SEKUNDEN</translation>
    </message>
    <message>
        <source>update-failed-retrying-text</source>
        <translation>&lt;p&gt;Ihre %1 konnte nicht aktualisiert werden.&lt;/p&gt;&lt;p&gt;Wir versuchen es noch einmal.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>update-failed-text</source>
        <translation>&lt;p&gt;Ihre %1 konnte nicht aktualisiert werden.&lt;/p&gt;&lt;p&gt;Wenden Sie sich an unseren &lt;b&gt;Kundendienst&lt;/b&gt;.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>update-succeeded-header</source>
        <translation>IHRE GERÄTE WURDEN ERFOLGREICH AKTUALISIERT</translation>
    </message>
    <message>
        <source>update-succeeded-text</source>
        <translation>Sie können dieses Fenster jetzt schließen und Ihre Tarnwick-Produkte verwenden.</translation>
    </message>
    <message>
        <source>updating-keyboard-header</source>
        <translation>IHRE TASTATUR &lt;br&gt;WIRD AKTUALISIERT</translation>
    </message>
    <message>
        <source>updating-keyboard-text</source>
        <translation>&lt;p&gt;Dies kann einige Minuten dauern.&lt;/p&gt;&lt;p&gt;Bitte trennen Sie Ihre %1 während der Aktualisierung nicht.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>updating-mouse-header</source>
        <translation>IHRE MAUS &lt;br&gt;WIRD AKTUALISIERT</translation>
    </message>
    <message>
        <source>updating-receiver-header</source>
        <translation>IHR EMPFÄNGER &lt;br&gt;WIRD AKTUALISIERT</translation>
    </message>
    <message>
        <source>updating-receiver-text</source>
        <translation>&lt;p&gt;Bitte entfernen Sie Ihren Tarnwick-Empfänger während der Aktualisierung nicht.&lt;/p&gt;&lt;p&gt;Geräte, die mit diesem Empfänger verbunden sind, funktionieren während der Aktualisierung möglicherweise nicht.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>wake-up-your-device-header</source>
        <translation>BITTE WECKEN SIE &lt;br&gt;IHRE TASTATUR AUF</translation>
    </message>
    <message>
        <source>wake-up-your-device-text</source>
        <translation>&lt;p&gt;Wir können keine Verbindung zu Ihrer %1 herstellen.&lt;/p&gt;&lt;p&gt;Drücken Sie eine Taste, um sie aufzuwecken.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>wake-up-your-mouse-header</source>
        <translation>BITTE WECKEN SIE &lt;br&gt;IHRE MAUS AUF</translation>
    </message>
    <message>
        <source>welcome-header</source>
        <translation>WILLKOMMEN BEIM &lt;br&gt;TARNWICK QUILLON FIRMWARE-UPDATE</translation>
    </message>
    <message>
        <source>welcome-text</source>
        <translation>&lt;p&gt;Dieses Programm führt Sie durch die Aktualisierung Ihrer Tarnwick-Produkte.&lt;/p&gt;&lt;p&gt;Während der Aktualisierung kann Ihr Produkt nicht verwendet werden.&lt;/p&gt;</translation>
    </message>
</context>
</TS>
