<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>MainWidget</name>
    <message>
        <source>cancel-button</source>
        <translation>CANCEL</translation>
    </message>
    <message>
        <source>close-button</source>
        <translation>CLOSE</translation>
    </message>
    <message>
        <source>continue-button</source>
        <translation>CONTINUE</translation>
    </message>
    <message>
        <source>default-keyboard-name</source>
        <translation>keyboard</translation>
    </message>
    <message>
        <source>default-mouse-name</source>
        <translation>mouse</translation>
    </message>
    <message>
        <source>detecting-devices-header</source>
        <translation>DETECTING &lt;br&gt;YOUR DEVICES</translation>
    </message>
    <message>
        <source>detecting-devices-text</source>
        <translation>&lt;p&gt;This may take a few minutes.&lt;/p&gt;&lt;p&gt;Please don&apos;t turn off your Tarnwick products.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>device-update-succeeded-text</source>
        <translation>Click the next button to continue.</translation>
    </message>
    <message>
        <source>devices-up-to-date-header</source>
        <translation>ALL TARNWICK PRODUCTS &lt;br&gt;ARE UP TO DATE</translation>
    </message>
    <message>
        <source>devices-up-to-date-text</source>
        <translation>You don&apos;t need to update any of your Tarnwick products.</translation>
    </message>
    <message>
        <source>dfu-progress-label</source>
        <translation>%1&lt;sup&gt;%&lt;/sup&gt;</translation>
    </message>
    <message>
        <source>do-not-update-button</source>
        <translation>DO NOT UPDATE</translation>
    </message>
    <message>
        <source>keyboard-connection-lost-header</source>
        <translation>ERROR CONNECTING &lt;br&gt;TO KEYBOARD</translation>
    </message>
    <message>
        <source>keyboard-connection-lost-text</source>
        <translation>We could not reconnect your %1. Please make sure it&apos;s connected with the receiver or via Bluetooth.</translation>
    </message>
    <message>
        <source>keyboard-update-ready-header</source>
        <translation>YOUR KEYBOARD &lt;br&gt;IS READY TO UPDATE</translation>
    </message>
    <message>
        <source>keyboard-update-ready-text</source>
        <translation>Do not disconnect your %1 during the update process.</translation>
    </message>
    <message>
        <source>keyboard-update-succeeded-header</source>
        <translation>YOUR KEYBOARD HAS BEEN SUCCESSFULLY UPDATED</translation>
    </message>
    <message>
        <source>low-battery-header</source>
        <translation>KEYBOARD BATTERY LEVEL IS CRITICAL</translation>
    </message>
    <message>
        <source>low-battery-text</source>
        <translation>Please charge your %1 before proceeding with the firmware update.</translation>
    </message>
    <message>
        <source>mouse-connection-lost-header</source>
        <translation>ERROR CONNECTING &lt;br&gt;TO MOUSE</translation>
    </message>
    <message>
        <source>mouse-low-battery-header</source>
        <translation>MOUSE BATTERY LEVEL IS CRITICAL</translation>
    </message>
    <message>
        <source>mouse-update-ready-header</source>
        <translation>YOUR MOUSE &lt;br&gt;IS READY TO UPDATE</translation>
    </message>
    <message>
        <source>mouse-update-succeeded-header</source>
        <translation>YOUR MOUSE HAS BEEN SUCCESSFULLY UPDATED</translation>
    </message>
    <message>
        <source>next-button</source>
        <translation>NEXT</translation>
    </message>
    <message>
        <source>no-other-devices-to-update-header</source>
        <translation>YOU HAVE NO OTHER DEVICES TO UPDATE</translation>
    </message>
    <message>
        <source>no-other-devices-to-update-text</source>
        <translation>You can come back to this software to update your Tarnwick product(s).</translation>
    </message>
    <message>
        <source>plug-receivers-header</source>
        <translation>PLEASE CONNECT A DEVICE OR A RECEIVER TO UPDATE</translation>
    </message>
    <message>
        <source>plug-receivers-text</source>
        <translation>We cannot find any devices or receivers connected to this computer. It may take longer time to detect your device, please wait at this page.</translation>
    </message>
    <message>
        <source>receiver-connection-lost-header</source>
        <translation>ERROR CONNECTING &lt;br&gt;TO RECEIVER</translation>
    </message>
    <message>
        <source>receiver-connection-lost-text</source>
        <translation>&lt;p&gt;We could not reconnect your receiver.&lt;/p&gt;&lt;p&gt;Please make sure it is plugged into your %1.&lt;/p&gt;&lt;p&gt;If the receiver is already plugged in, please unplug and replug it.&lt;/p&gt;&lt;p&gt;Do not close the firmware updating tool.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>receiver-update-failed-header</source>
        <translation>SOMETHING WENT WRONG &lt;br&gt;PLEASE CONTACT SUPPORT</translation>
    </message>
    <message>
        <source>receiver-update-failed-retrying-header</source>
        <translation>SOMETHING WENT WRONG &lt;br&gt;RETRYING IN %1 SECONDS</translation>
    </message>
    <message>
        <source>receiver-update-failed-retrying-text</source>
        <translation>&lt;p&gt;Your receiver could not be updated.&lt;/p&gt;&lt;p&gt;We are going to retry one more time.&lt;p&gt;</translation>
    </message>
    <message>
        <source>receiver-update-failed-text</source>
        <translation>&lt;p&gt;Your receiver could not be updated.&lt;/p&gt;&lt;p&gt;You can contact our &lt;b&gt;customer support&lt;/b&gt;.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>receiver-update-ready-header</source>
        <translation>YOUR RECEIVER &lt;br&gt;IS READY TO UPDATE</translation>
    </message>
    <message>
        <source>receiver-update-ready-text</source>
        <translation>Do not remove your receiver during the update process.</translation>
    </message>
    <message>
        <source>retry-timer-header</source>
        <translation>SOMETHING WENT WRONG&lt;br&gt; RETRYING IN %1 %2</translation>
    </message>
    <message>
        <source>second-text</source>
        <translation>SECOND</translation>
    </message>
    <message>
        <source>seconds-text</source>
        <translation>SECONDS</translation>
    </message>
    <message>
        <source>support-page-button</source>
        <translation>SUPPORT PAGE</translation>
    </message>
    <message>
        <source>turn-device-off-and-on-header</source>
        <translation>PLEASE TURN YOUR KEYBOARD OFF AND ON</translation>
    </message>
    <message>
        <source>turn-device-off-and-on-text</source>
        <translation>Look at the back of your %1 and turn your %1 off and on.</translation>
    </message>
    <message>
        <source>turn-mouse-off-and-on-header</source>
        <translation>PLEASE TURN YOUR MOUSE OFF AND ON</translation>
    </message>
    <message>
        <source>unplug-receivers-header</source>
        <translation>PLEASE PLUG ONLY ONE RECEIVER</translation>
    </message>
    <message>
        <source>unplug-receivers-text</source>
        <translation>Please make sure there is only one Tarnwick receiver connected to your %1.</translation>
    </message>
    <message>
        <source>update-button</source>
        <translation>UPDATE</translation>
    </message>
    <message>
        <source>update-failed-header</source>
        <translation>SOMETHING WENT WRONG&lt;br&gt; PLEASE CONTACT SUPPORT</translation>
    </message>
    <message>
        <source>update-failed-retrying-header</source>
        <translation>SOMETHING WENT WRONG &lt;br&gt;RETRYING IN %1 SECONDS</translation>
    </message>
    <message>
        <source>update-failed-retrying-text</source>
        <translation>&lt;p&gt;Your %1 could not be updated.&lt;/p&gt;&lt;p&gt;We are going to retry one more time.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>update-failed-text</source>
        <translation>&lt;p&gt;Your %1 could not be updated.&lt;/p&gt;&lt;p&gt;You can contact our &lt;b&gt;customer support&lt;/b&gt;.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>update-succeeded-header</source>
        <translation>YOUR DEVICES HAVE BEEN SUCCESSFULLY UPDATED</translation>
    </message>
    <message>
        <source>update-succeeded-text</source>
        <translation>You can now close this window and use your Tarnwick product(s).</translation>
    </message>
    <message>
        <source>updating-keyboard-header</source>
        <translation>YOUR KEYBOARD &lt;br&gt;IS UPDATING</translation>
    </message>
    <message>
        <source>updating-keyboard-text</source>
        <translation>&lt;p&gt;This may take a few minutes.&lt;/p&gt;&lt;p&gt;Please don&apos;t disconnect your %1 during the update.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>updating-mouse-header</source>
        <translation>YOUR MOUSE &lt;br&gt;IS UPDATING</translation>
    </message>
    <message>
        <source>updating-receiver-header</source>
        <translation>YOUR RECEIVER &lt;br&gt;IS UPDATING</translation>
    </message>
    <message>
        <source>updating-receiver-text</source>
        <translation>&lt;p&gt;Please don&apos;t remove your Tarnwick receiver during the update.&lt;/p&gt;&lt;p&gt;Note that any devices you have connected to this receiver may stop working during this update.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>wake-up-your-device-header</source>
        <translation>PLEASE WAKE UP &lt;br&gt;YOUR KEYBOARD</translation>
    </message>
    <message>
        <source>wake-up-your-device-text</source>
        <translation>&lt;p&gt;We can&apos;t connect to your %1.&lt;/p&gt;&lt;p&gt;Press a button to wake it up.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>wake-up-your-mouse-header</source>
        <translation>PLEASE WAKE UP &lt;br&gt;YOUR MOUSE</translation>
    </message>
    <message>
        <source>welcome-header</source>
        <translation>WELCOME TO THE TARNWICK &lt;br&gt;QUILLON FIRMWARE UPDATE</translation>
    </message>
    <message>
        <source>welcome-text</source>
        <translation>&lt;p&gt;This tool will help you through the update process of your Tarnwick products.&lt;/p&gt;&lt;p&gt;Your product will not be functional during the upgrade.&lt;/p&gt;</translation>
    </message>
</context>
</TS>
