<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>ConfigFile</name>
    <message>
        <source>The file exists but cannot be read.</source>
        <translation>The file exists but cannot be read.</translation>
    </message>
    <message>
        <source>The file is larger than 1 MiB and is left as it is.</source>
        <translation>The file is larger than 1 MiB and is left as it is.</translation>
    </message>
</context>
<context>
    <name>HistoryExport</name>
    <message>
        <source>Export CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>History is not recorded</source>
        <translation>History is not being recorded</translation>
    </message>
    <message>
        <source>Exporting %1 ...</source>
        <translation>Exporting %1…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>From:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>To:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>The range ends before it begins.</source>
        <translation>The range ends before it begins.</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV files (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>%1 readings written to %2.</source>
        <translation>%1 readings written to %2.</translation>
    </message>
</context>
<context>
    <name>LinkStatsEntry</name>
    <message>
        <source>Link statistics</source>
        <translation>Link statistics</translation>
    </message>
    <message>
        <source>Link statistics (Ctrl+Shift+L)</source>
        <translation>Link statistics (Ctrl+Shift+L)</translation>
    </message>
</context>
<context>
    <name>LinkStatsWindow</name>
    <message>
        <source>Link statistics</source>
        <translation>Link statistics</translation>
    </message>
    <message>
        <source>Live values</source>
        <translation>Live values</translation>
    </message>
    <message>
        <source>Totals</source>
        <translation>Totals</translation>
    </message>
    <message>
        <source>Identity</source>
        <translation>Identity</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>Scan</translation>
    </message>
    <message>
        <source>Parameter read</source>
        <translation>Parameter read</translation>
    </message>
    <message>
        <source>Parameter write</source>
        <translation>Parameter write</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>All</source>
        <translation>All</translation>
    </message>
    <message>
        <source>Sent</source>
        <translation>Sent</translation>
    </message>
    <message>
        <source>Answered</source>
        <translation>Answered</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>Timed out</source>
        <translation>Timed out</translation>
    </message>
    <message>
        <source>Re-sent</source>
        <translation>Re-sent</translation>
    </message>
    <message>
        <source>Bad checksum</source>
        <translation>Bad checksum</translation>
    </message>
    <message>
        <source>Wrong address</source>
        <translation>Wrong address</translation>
    </message>
    <message>
        <source>Wrong transaction</source>
        <translation>Wrong transaction</translation>
    </message>
    <message>
        <source>Wrong unit</source>
        <translation>Wrong unit</translation>
    </message>
    <message>
        <source>Malformed</source>
        <translation>Malformed</translation>
    </message>
    <message>
        <source>Exception answers</source>
        <translation>Exception answers</translation>
    </message>
    <message>
        <source>Bytes out</source>
        <translation>Bytes out</translation>
    </message>
    <message>
        <source>Bytes in</source>
        <translation>Bytes in</translation>
    </message>
    <message>
        <source>Round trip, mean (ms)</source>
        <translation>Round trip, mean (ms)</translation>
    </message>
    <message>
        <source>Round trip up to %1 ms</source>
        <translation>Round trip up to %1 ms</translation>
    </message>
    <message>
        <source>Round trip over %1 ms</source>
        <translation>Round trip over %1 ms</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>other: %1</source>
        <translation>other: %1</translation>
    </message>
    <message>
        <source>Exception codes: none</source>
        <translation>Exception codes: none</translation>
    </message>
    <message>
        <source>Exception codes: %1</source>
        <translation>Exception codes: %1</translation>
    </message>
    <message>
        <source>No requests in the last five minutes</source>
        <translation>No requests in the last five minutes</translation>
    </message>
    <message>
        <source>%1 % of %2 requests answered in the last five minutes</source>
        <translation>%1 % of %2 requests answered in the last five minutes</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>MainWindow</source>
        <translation>MainWindow</translation>
    </message>
    <message>
        <source>QTabBar::tab { height: 26px; }</source>
        <translation>QTabBar::tab { height: 26px; }</translation>
    </message>
    <message>
        <source>Curve view</source>
        <translation>Curve view</translation>
    </message>
    <message>
        <source>Show the time(m):</source>
        <translation>Time span(min):</translation>
    </message>
    <message>
        <source>1000</source>
        <translation>1000</translation>
    </message>
    <message>
        <source>Basic information</source>
        <translation>Basic information</translation>
    </message>
    <message>
        <source>image:url(:/Images/Images/128X128/PV1.png)</source>
        <translation>image:url(:/Images/Images/128X128/PV1.png)</translation>
    </message>
    <message>
        <source>image: url(:/Images/Images/4.png)</source>
        <translation>image: url(:/Images/Images/4.png)</translation>
    </message>
    <message>
        <source>image: url(:/Images/Images/128X128/1234.png)</source>
        <translation>image: url(:/Images/Images/128X128/1234.png)</translation>
    </message>
    <message>
        <source>image:url(:/Images/Images/4.png)</source>
        <translation>image:url(:/Images/Images/4.png)</translation>
    </message>
    <message>
        <source>image:url(:/Images/Images/128X128/load1.png)</source>
        <translation>image:url(:/Images/Images/128X128/load1.png)</translation>
    </message>
    <message>
        <source>image: url(:/Images/Images/2.png)</source>
        <translation>image: url(:/Images/Images/2.png)</translation>
    </message>
    <message>
        <source>image: url(:/Images/Images/128X128/Battery1.png)</source>
        <translation>image: url(:/Images/Images/128X128/Battery1.png)</translation>
    </message>
    <message>
        <source>Internal temperature：       ℃</source>
        <translation>Internal temperature：       ℃</translation>
    </message>
    <message>
        <source>-00</source>
        <translation>-00</translation>
    </message>
    <message>
        <source>Component</source>
        <translation>PV module</translation>
    </message>
    <message>
        <source>Voltage:                 V</source>
        <translation>Voltage:                 V</translation>
    </message>
    <message>
        <source>000.00</source>
        <translation>000.00</translation>
    </message>
    <message>
        <source>Current:                 A</source>
        <translation>Current:                 A</translation>
    </message>
    <message>
        <source>Power:                   W</source>
        <translation>Power:                   W</translation>
    </message>
    <message>
        <source>State:        </source>
        <translation>State:        </translation>
    </message>
    <message>
        <source>NO</source>
        <translation>NO</translation>
    </message>
    <message>
        <source>Called power：</source>
        <translation>Rated power：</translation>
    </message>
    <message>
        <source>0000001</source>
        <translation>0000001</translation>
    </message>
    <message>
        <source>Efficiency:              %</source>
        <translation>Efficiency:              %</translation>
    </message>
    <message>
        <source>00.00</source>
        <translation>00.00</translation>
    </message>
    <message>
        <source>Battery info</source>
        <translation>Battery info</translation>
    </message>
    <message>
        <source>Voltage:                V</source>
        <translation>Voltage:                V</translation>
    </message>
    <message>
        <source>Current:                A</source>
        <translation>Current:                A</translation>
    </message>
    <message>
        <source>Stages：</source>
        <translation>Stage：</translation>
    </message>
    <message>
        <source>Bulk</source>
        <translation>Bulk</translation>
    </message>
    <message>
        <source>System：           V</source>
        <translation>System：           V</translation>
    </message>
    <message>
        <source>000</source>
        <translation>000</translation>
    </message>
    <message>
        <source>Capacity：          %</source>
        <translation>Capacity：          %</translation>
    </message>
    <message>
        <source>Temperature：       ℃</source>
        <translation>Temperature：       ℃</translation>
    </message>
    <message>
        <source>Load info</source>
        <translation>Load info</translation>
    </message>
    <message>
        <source>Voltage:                  V</source>
        <translation>Voltage:                  V</translation>
    </message>
    <message>
        <source>Current:                  A</source>
        <translation>Current:                  A</translation>
    </message>
    <message>
        <source>Power generation accumulation：</source>
        <translation>Power generation accumulation：</translation>
    </message>
    <message>
        <source>Total:                   KAh</source>
        <translation>Total:                   KAh</translation>
    </message>
    <message>
        <source>Total:                   MWh</source>
        <translation>Total:                   MWh</translation>
    </message>
    <message>
        <source>Electricity accumulation：</source>
        <translation>Consumption accumulation：</translation>
    </message>
    <message>
        <source>Total:                  KAh</source>
        <translation>Total:                  KAh</translation>
    </message>
    <message>
        <source>Total:                  MWh</source>
        <translation>Total:                  MWh</translation>
    </message>
    <message>
        <source>Device info：</source>
        <translation>Device info：</translation>
    </message>
    <message>
        <source>Device rated voltage：                                       V</source>
        <translation>Device rated voltage：                                       V</translation>
    </message>
    <message>
        <source>0000</source>
        <translation>0000</translation>
    </message>
    <message>
        <source>Device rated charge current：                                      A</source>
        <translation>Device rated charge current：                                      A</translation>
    </message>
    <message>
        <source>Device rated discharge current：                                         A</source>
        <translation>Device rated discharge current：                                         A</translation>
    </message>
    <message>
        <source>Version info：</source>
        <translation>Version info：</translation>
    </message>
    <message>
        <source>Unknow</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>Device model：</source>
        <translation>Device model：</translation>
    </message>
    <message>
        <source>Device serial number：</source>
        <translation>Device serial number：</translation>
    </message>
    <message>
        <source>0000-0000-0000-0000</source>
        <translation>0000-0000-0000-0000</translation>
    </message>
    <message>
        <source>Factory：</source>
        <translation>Factory：</translation>
    </message>
    <message>
        <source>Send command</source>
        <translation>Send command</translation>
    </message>
    <message>
        <source>color: rgb(255, 0, 0);</source>
        <translation>color: rgb(255, 0, 0);</translation>
    </message>
    <message>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;宋体&apos;; font-size:10pt; font-weight:600; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:12pt; font-weight:400;&quot;&gt;00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 &lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;宋体&apos;; font-size:10pt; font-weight:600; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:12pt; font-weight:400;&quot;&gt;00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 &lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Receive command</source>
        <translation>Receive command</translation>
    </message>
    <message>
        <source>Read configuration</source>
        <translation>Read configuration</translation>
    </message>
    <message>
        <source>Write configuration</source>
        <translation>Write configuration</translation>
    </message>
    <message>
        <source>One-click read</source>
        <translation>One-click read</translation>
    </message>
    <message>
        <source>One-click write</source>
        <translation>One-click write</translation>
    </message>
    <message>
        <source>one-click write</source>
        <translation>One-click write</translation>
    </message>
    <message>
        <source>Float charge voltage(V)</source>
        <translation>Float charge voltage(V)</translation>
    </message>
    <message>
        <source>000.0</source>
        <translation>000.0</translation>
    </message>
    <message>
        <source>read</source>
        <translation>read</translation>
    </message>
    <message>
        <source>write</source>
        <translation>write</translation>
    </message>
    <message>
        <source>Absorb charge voltage(V)</source>
        <translation>Absorb charge voltage(V)</translation>
    </message>
    <message>
        <source>Equalize charge voltage(V)</source>
        <translation>Equalize charge voltage(V)</translation>
    </message>
    <message>
        <source>Aborb charge time(M) </source>
        <translation>Absorb charge time(M) </translation>
    </message>
    <message>
        <source>Equalize charge time(M) </source>
        <translation>Equalize charge time(M) </translation>
    </message>
    <message>
        <source>Temperature compensation</source>
        <translation>Temperature compensation</translation>
    </message>
    <message>
        <source>-0</source>
        <translation>-0</translation>
    </message>
    <message>
        <source>Lithium battery capacity(AH)</source>
        <translation>Lithium battery capacity(AH)</translation>
    </message>
    <message>
        <source>0000.0</source>
        <translation>0000.0</translation>
    </message>
    <message>
        <source>Lithium battery (CV)</source>
        <translation>Lithium battery (CV)</translation>
    </message>
    <message>
        <source>Charge limit(V)</source>
        <translation>Charge limit(V)</translation>
    </message>
    <message>
        <source>Low voltage protection(V)</source>
        <translation>Low voltage protection(V)</translation>
    </message>
    <message>
        <source>Low voltage recovery(V)</source>
        <translation>Low voltage recovery(V)</translation>
    </message>
    <message>
        <source>Over voltage protection(V)</source>
        <translation>Over voltage protection(V)</translation>
    </message>
    <message>
        <source>Over voltage recovery(V)</source>
        <translation>Over voltage recovery(V)</translation>
    </message>
    <message>
        <source>System voltage:</source>
        <translation>System voltage:</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>Fixed 12V</source>
        <translation>Fixed 12V</translation>
    </message>
    <message>
        <source>Fixed 24V</source>
        <translation>Fixed 24V</translation>
    </message>
    <message>
        <source>Fixed 36V</source>
        <translation>Fixed 36V</translation>
    </message>
    <message>
        <source>Fixed 48V</source>
        <translation>Fixed 48V</translation>
    </message>
    <message>
        <source>Battery type:</source>
        <translation>Battery type:</translation>
    </message>
    <message>
        <source>Customize</source>
        <translation>Customize</translation>
    </message>
    <message>
        <source>GEL</source>
        <translation>GEL</translation>
    </message>
    <message>
        <source>FLD</source>
        <translation>FLD</translation>
    </message>
    <message>
        <source>SEAL</source>
        <translation>SEAL</translation>
    </message>
    <message>
        <source>LI</source>
        <translation>LI</translation>
    </message>
    <message>
        <source>LIP</source>
        <translation>LIP</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>14400</source>
        <translation>14400</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>38400</source>
        <translation>38400</translation>
    </message>
    <message>
        <source>43000</source>
        <translation>43000</translation>
    </message>
    <message>
        <source>57600</source>
        <translation>57600</translation>
    </message>
    <message>
        <source>76800</source>
        <translation>76800</translation>
    </message>
    <message>
        <source>115200</source>
        <translation>115200</translation>
    </message>
    <message>
        <source>One-click delete</source>
        <translation>One-click delete</translation>
    </message>
    <message>
        <source>Enable all</source>
        <translation>Enable all</translation>
    </message>
    <message>
        <source>Remove the total power generation(KAh)</source>
        <translation>Clear the total generation(KAh)</translation>
    </message>
    <message>
        <source>Remove the total power generation(WMh)</source>
        <translation>Clear the total generation(MWh)</translation>
    </message>
    <message>
        <source>Clear the total release cable(KAh)</source>
        <translation>Clear the total discharge(KAh)</translation>
    </message>
    <message>
        <source>Clear the total release cable(MWh)</source>
        <translation>Clear the total discharge(MWh)</translation>
    </message>
    <message>
        <source>Load mode</source>
        <translation>Load mode</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>Light time</source>
        <translation>Light time</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>Light on(V)</source>
        <translation>Light on(V)</translation>
    </message>
    <message>
        <source>Light off(V)</source>
        <translation>Light off(V)</translation>
    </message>
    <message>
        <source>Night time(M)</source>
        <translation>Night time(M)</translation>
    </message>
    <message>
        <source>Self-check error</source>
        <translation>Self-check error</translation>
    </message>
    <message>
        <source>Parameter not calibration</source>
        <translation>Parameter not calibrated</translation>
    </message>
    <message>
        <source>Battery temperature</source>
        <translation>Battery temperature</translation>
    </message>
    <message>
        <source>internal temperature</source>
        <translation>Internal temperature</translation>
    </message>
    <message>
        <source>PV not connected</source>
        <translation>PV not connected</translation>
    </message>
    <message>
        <source>PV over</source>
        <translation>PV over</translation>
    </message>
    <message>
        <source>internal over hear</source>
        <translation>Internal overheat</translation>
    </message>
    <message>
        <source>Battery Over</source>
        <translation>Battery Over</translation>
    </message>
    <message>
        <source>Short circut</source>
        <translation>Short circuit</translation>
    </message>
    <message>
        <source>Over load</source>
        <translation>Over load</translation>
    </message>
    <message>
        <source>Low voltage</source>
        <translation>Low voltage</translation>
    </message>
    <message>
        <source>Load on</source>
        <translation>Load on</translation>
    </message>
    <message>
        <source>Load off</source>
        <translation>Load off</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Restart</translation>
    </message>
    <message>
        <source>PV Voltage</source>
        <translation>PV Voltage</translation>
    </message>
    <message>
        <source>Battery Voltage</source>
        <translation>Battery Voltage</translation>
    </message>
    <message>
        <source>Load Voltage</source>
        <translation>Load Voltage</translation>
    </message>
    <message>
        <source>Charging Current</source>
        <translation>Charging Current</translation>
    </message>
    <message>
        <source>Discharge Current</source>
        <translation>Discharge Current</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Voltage(V)</source>
        <translation>Voltage(V)</translation>
    </message>
    <message>
        <source>Current(A)</source>
        <translation>Current(A)</translation>
    </message>
    <message>
        <source>PV Voltage:%1V
Battery Voltage:%2V
Load Voltage:%3V
Charging Current:%4A
Discharge Current:%5A
Time:%6</source>
        <translation>PV Voltage:%1V
Battery Voltage:%2V
Load Voltage:%3V
Charging Current:%4A
Discharge Current:%5A
Time:%6</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Unkown</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00</source>
        <translation>00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Disonnect</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>Setting</translation>
    </message>
    <message>
        <source>The serial port failed to open, please resched the serial port!</source>
        <translation>The serial port failed to open, please recheck the serial port!</translation>
    </message>
    <message>
        <source>min</source>
        <translation>min</translation>
    </message>
    <message>
        <source>kept in whole hours</source>
        <translation>kept in whole hours</translation>
    </message>
    <message>
        <source>%1 to %2 %3</source>
        <translation>%1 to %2 %3</translation>
    </message>
    <message>
        <source>read only</source>
        <translation>read only</translation>
    </message>
</context>
<context>
    <name>OperatorFeedback</name>
    <message>
        <source>Solar Charge Controller Monitor</source>
        <translation>Solar Charge Controller Monitor</translation>
    </message>
    <message>
        <source>Connecting to %1 ...</source>
        <translation>Connecting to %1 ...</translation>
    </message>
    <message>
        <source>Connected to %1</source>
        <translation>Connected to %1</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>%1 refused the connection</source>
        <translation>%1 refused the connection</translation>
    </message>
    <message>
        <source>%1 cannot be reached (%2)</source>
        <translation>%1 cannot be reached (%2)</translation>
    </message>
    <message>
        <source>No answer from %1: the connection timed out</source>
        <translation>No answer from %1: the connection timed out</translation>
    </message>
    <message>
        <source>%1 closed the connection</source>
        <translation>%1 closed the connection</translation>
    </message>
    <message>
        <source>Serial port %1 was lost (%2)</source>
        <translation>Serial port %1 was lost (%2)</translation>
    </message>
    <message>
        <source>Serial port %1 failed to open (%2)</source>
        <translation>Serial port %1 failed to open (%2)</translation>
    </message>
    <message>
        <source>Connection to %1 failed (%2)</source>
        <translation>Connection to %1 failed (%2)</translation>
    </message>
    <message>
        <source>No link chosen: pick Serial or Ethernet under Setting</source>
        <translation>No link chosen: pick Serial or Ethernet under Setting</translation>
    </message>
    <message>
        <source>Port: %1</source>
        <translation>Port: %1</translation>
    </message>
    <message>
        <source>Reason: %1</source>
        <translation>Reason: %1</translation>
    </message>
    <message>
        <source>Your user may not use this port. Add it to the dialout group (sudo usermod -aG dialout $USER), then log in again.</source>
        <translation>Your user may not use this port. Add it to the dialout group (sudo usermod -aG dialout $USER), then log in again.</translation>
    </message>
    <message>
        <source>done</source>
        <translation>done</translation>
    </message>
    <message>
        <source>no answer from the controller</source>
        <translation>no answer from the controller</translation>
    </message>
    <message>
        <source>illegal function</source>
        <translation>illegal function</translation>
    </message>
    <message>
        <source>illegal data address</source>
        <translation>illegal data address</translation>
    </message>
    <message>
        <source>illegal data value</source>
        <translation>illegal data value</translation>
    </message>
    <message>
        <source>device failure</source>
        <translation>device failure</translation>
    </message>
    <message>
        <source>exception code %1 (%2)</source>
        <translation>exception code %1 (%2)</translation>
    </message>
    <message>
        <source>exception code %1</source>
        <translation>exception code %1</translation>
    </message>
    <message>
        <source>not available on this controller type</source>
        <translation>not available on this controller type</translation>
    </message>
    <message>
        <source>refused: read the block first</source>
        <translation>refused: read the block first</translation>
    </message>
    <message>
        <source>value refused</source>
        <translation>value refused</translation>
    </message>
    <message>
        <source>link down: press Connect first</source>
        <translation>link down: press Connect first</translation>
    </message>
    <message>
        <source>%1 - %2</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>%1 - connecting to %2</source>
        <translation>%1 - connecting to %2</translation>
    </message>
    <message>
        <source>%1 - not connected</source>
        <translation>%1 - not connected</translation>
    </message>
    <message>
        <source>&lt;h3&gt;%1&lt;/h3&gt;&lt;p&gt;Version %2&lt;/p&gt;&lt;p&gt;Built with Qt %3 (running %4) and QCustomPlot %5.&lt;/p&gt;&lt;p&gt;Keys: Ctrl+, Setting; Ctrl+L Connect/Disconnect; Ctrl+1 and Ctrl+2 the tabs; Ctrl+Shift+R Read configuration; Ctrl+Shift+W Write configuration.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;%1&lt;/h3&gt;&lt;p&gt;Version %2&lt;/p&gt;&lt;p&gt;Built with Qt %3 (running %4) and QCustomPlot %5.&lt;/p&gt;&lt;p&gt;Keys: Ctrl+, Setting; Ctrl+L Connect/Disconnect; Ctrl+1 and Ctrl+2 the tabs; Ctrl+Shift+R Read configuration; Ctrl+Shift+W Write configuration.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>%1: done</source>
        <translation>%1: done</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>Failed: %1</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Read every parameter (Ctrl+Shift+R)</source>
        <translation>Read every parameter (Ctrl+Shift+R)</translation>
    </message>
    <message>
        <source>Write every parameter (Ctrl+Shift+W)</source>
        <translation>Write every parameter (Ctrl+Shift+W)</translation>
    </message>
    <message>
        <source>Ctrl+%1</source>
        <translation>Ctrl+%1</translation>
    </message>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>About %1</translation>
    </message>
    <message>
        <source>No serial port is set: choose one under Setting.</source>
        <translation>No serial port is set: choose one under Setting.</translation>
    </message>
</context>
<context>
    <name>YieldView</name>
    <message>
        <source>History</source>
        <translation>History</translation>
    </message>
    <message>
        <source>Ctrl+%1</source>
        <translation>Ctrl+%1</translation>
    </message>
    <message>
        <source>Day</source>
        <translation>Day</translation>
    </message>
    <message>
        <source>Generated (kWh)</source>
        <translation>Generated (kWh)</translation>
    </message>
    <message>
        <source>Consumed (kWh)</source>
        <translation>Consumed (kWh)</translation>
    </message>
    <message>
        <source>Lowest battery voltage (V)</source>
        <translation>Lowest battery voltage (V)</translation>
    </message>
    <message>
        <source>Highest battery voltage (V)</source>
        <translation>Highest battery voltage (V)</translation>
    </message>
    <message>
        <source>Click a day to see its curve</source>
        <translation>Click a day to see its curve</translation>
    </message>
    <message>
        <source>Energy (kWh)</source>
        <translation>Energy (kWh)</translation>
    </message>
    <message>
        <source>Battery voltage (V)</source>
        <translation>Battery voltage (V)</translation>
    </message>
    <message>
        <source>Generated</source>
        <translation>Generated</translation>
    </message>
    <message>
        <source>Consumed</source>
        <translation>Consumed</translation>
    </message>
    <message>
        <source>Lowest battery voltage</source>
        <translation>Lowest battery voltage</translation>
    </message>
    <message>
        <source>Highest battery voltage</source>
        <translation>Highest battery voltage</translation>
    </message>
    <message>
        <source>The last %1 days of the controller at address %2. Click a day to see its curve.</source>
        <translation>The last %1 days of the controller at address %2. Click a day to see its curve.</translation>
    </message>
</context>
<context>
    <name>app_setting_Dialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>Communication mode</source>
        <translation>Communication mode</translation>
    </message>
    <message>
        <source>Serial.</source>
        <translation>Serial</translation>
    </message>
    <message>
        <source>Port：</source>
        <translation>Port：</translation>
    </message>
    <message>
        <source>COM1</source>
        <translation>COM1</translation>
    </message>
    <message>
        <source>COM2</source>
        <translation>COM2</translation>
    </message>
    <message>
        <source>COM3</source>
        <translation>COM3</translation>
    </message>
    <message>
        <source>COM4</source>
        <translation>COM4</translation>
    </message>
    <message>
        <source>COM5</source>
        <translation>COM5</translation>
    </message>
    <message>
        <source>COM6</source>
        <translation>COM6</translation>
    </message>
    <message>
        <source>COM7</source>
        <translation>COM7</translation>
    </message>
    <message>
        <source>COM8</source>
        <translation>COM8</translation>
    </message>
    <message>
        <source>COM9</source>
        <translation>COM9</translation>
    </message>
    <message>
        <source>COM10</source>
        <translation>COM10</translation>
    </message>
    <message>
        <source>COM11</source>
        <translation>COM11</translation>
    </message>
    <message>
        <source>COM12</source>
        <translation>COM12</translation>
    </message>
    <message>
        <source>COM13</source>
        <translation>COM13</translation>
    </message>
    <message>
        <source>COM14</source>
        <translation>COM14</translation>
    </message>
    <message>
        <source>COM15</source>
        <translation>COM15</translation>
    </message>
    <message>
        <source>COM16</source>
        <translation>COM16</translation>
    </message>
    <message>
        <source>COM17</source>
        <translation>COM17</translation>
    </message>
    <message>
        <source>COM18</source>
        <translation>COM18</translation>
    </message>
    <message>
        <source>COM19</source>
        <translation>COM19</translation>
    </message>
    <message>
        <source>COM20</source>
        <translation>COM20</translation>
    </message>
    <message>
        <source>COM21</source>
        <translation>COM21</translation>
    </message>
    <message>
        <source>COM22</source>
        <translation>COM22</translation>
    </message>
    <message>
        <source>COM23</source>
        <translation>COM23</translation>
    </message>
    <message>
        <source>COM24</source>
        <translation>COM24</translation>
    </message>
    <message>
        <source>COM25</source>
        <translation>COM25</translation>
    </message>
    <message>
        <source>COM26</source>
        <translation>COM26</translation>
    </message>
    <message>
        <source>COM27</source>
        <translation>COM27</translation>
    </message>
    <message>
        <source>COM28</source>
        <translation>COM28</translation>
    </message>
    <message>
        <source>COM29</source>
        <translation>COM29</translation>
    </message>
    <message>
        <source>COM30</source>
        <translation>COM30</translation>
    </message>
    <message>
        <source>COM31</source>
        <translation>COM31</translation>
    </message>
    <message>
        <source>COM32</source>
        <translation>COM32</translation>
    </message>
    <message>
        <source>COM33</source>
        <translation>COM33</translation>
    </message>
    <message>
        <source>COM34</source>
        <translation>COM34</translation>
    </message>
    <message>
        <source>COM35</source>
        <translation>COM35</translation>
    </message>
    <message>
        <source>COM36</source>
        <translation>COM36</translation>
    </message>
    <message>
        <source>COM37</source>
        <translation>COM37</translation>
    </message>
    <message>
        <source>COM38</source>
        <translation>COM38</translation>
    </message>
    <message>
        <source>COM39</source>
        <translation>COM39</translation>
    </message>
    <message>
        <source>COM40</source>
        <translation>COM40</translation>
    </message>
    <message>
        <source>Porter rate：</source>
        <translation>Baud rate：</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>14400</source>
        <translation>14400</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>38400</source>
        <translation>38400</translation>
    </message>
    <message>
        <source>43000</source>
        <translation>43000</translation>
    </message>
    <message>
        <source>56000</source>
        <translation>56000</translation>
    </message>
    <message>
        <source>57600</source>
        <translation>57600</translation>
    </message>
    <message>
        <source>115200</source>
        <translation>115200</translation>
    </message>
    <message>
        <source>SlaveAddress：</source>
        <translation>Bus address：</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>2</source>
        <translation>2</translation>
    </message>
    <message>
        <source>3</source>
        <translation>3</translation>
    </message>
    <message>
        <source>4</source>
        <translation>4</translation>
    </message>
    <message>
        <source>5</source>
        <translation>5</translation>
    </message>
    <message>
        <source>6</source>
        <translation>6</translation>
    </message>
    <message>
        <source>7</source>
        <translation>7</translation>
    </message>
    <message>
        <source>8</source>
        <translation>8</translation>
    </message>
    <message>
        <source>9</source>
        <translation>9</translation>
    </message>
    <message>
        <source>10</source>
        <translation>10</translation>
    </message>
    <message>
        <source>11</source>
        <translation>11</translation>
    </message>
    <message>
        <source>12</source>
        <translation>12</translation>
    </message>
    <message>
        <source>13</source>
        <translation>13</translation>
    </message>
    <message>
        <source>14</source>
        <translation>14</translation>
    </message>
    <message>
        <source>15</source>
        <translation>15</translation>
    </message>
    <message>
        <source>16</source>
        <translation>16</translation>
    </message>
    <message>
        <source>17</source>
        <translation>17</translation>
    </message>
    <message>
        <source>18</source>
        <translation>18</translation>
    </message>
    <message>
        <source>19</source>
        <translation>19</translation>
    </message>
    <message>
        <source>20</source>
        <translation>20</translation>
    </message>
    <message>
        <source>21</source>
        <translation>21</translation>
    </message>
    <message>
        <source>22</source>
        <translation>22</translation>
    </message>
    <message>
        <source>23</source>
        <translation>23</translation>
    </message>
    <message>
        <source>24</source>
        <translation>24</translation>
    </message>
    <message>
        <source>25</source>
        <translation>25</translation>
    </message>
    <message>
        <source>26</source>
        <translation>26</translation>
    </message>
    <message>
        <source>27</source>
        <translation>27</translation>
    </message>
    <message>
        <source>28</source>
        <translation>28</translation>
    </message>
    <message>
        <source>29</source>
        <translation>29</translation>
    </message>
    <message>
        <source>30</source>
        <translation>30</translation>
    </message>
    <message>
        <source>31</source>
        <translation>31</translation>
    </message>
    <message>
        <source>32</source>
        <translation>32</translation>
    </message>
    <message>
        <source>33</source>
        <translation>33</translation>
    </message>
    <message>
        <source>34</source>
        <translation>34</translation>
    </message>
    <message>
        <source>35</source>
        <translation>35</translation>
    </message>
    <message>
        <source>36</source>
        <translation>36</translation>
    </message>
    <message>
        <source>37</source>
        <translation>37</translation>
    </message>
    <message>
        <source>38</source>
        <translation>38</translation>
    </message>
    <message>
        <source>39</source>
        <translation>39</translation>
    </message>
    <message>
        <source>40</source>
        <translation>40</translation>
    </message>
    <message>
        <source>Ethernet.</source>
        <translation>Ethernet</translation>
    </message>
    <message>
        <source>IP Address：</source>
        <translation>IP Address：</translation>
    </message>
    <message>
        <source>Communication protocol</source>
        <translation>Communication protocol</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>TCP_Modbus</source>
        <translation>TCP Modbus</translation>
    </message>
    <message>
        <source>Modbus</source>
        <translation>Modbus</translation>
    </message>
    <message>
        <source>Controller type</source>
        <translation>Controller type</translation>
    </message>
    <message>
        <source>PWM</source>
        <translation>PWM</translation>
    </message>
    <message>
        <source>MPPT</source>
        <translation>MPPT</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>The settings could not be saved to %1:
%2</source>
        <translation>The settings could not be saved to %1:
%2</translation>
    </message>
    <message>
        <source>Record history</source>
        <translation>Record history</translation>
    </message>
</context>
<context>
    <name>com_protocol_solar</name>
    <message>
        <source>Customize</source>
        <translation>Customize</translation>
    </message>
    <message>
        <source>GEL</source>
        <translation>GEL</translation>
    </message>
    <message>
        <source>FLD</source>
        <translation>FLD</translation>
    </message>
    <message>
        <source>SEAL</source>
        <translation>SEAL</translation>
    </message>
    <message>
        <source>LI</source>
        <translation>LI</translation>
    </message>
    <message>
        <source>LIP</source>
        <translation>LIP</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>Fixed 12V</source>
        <translation>Fixed 12V</translation>
    </message>
    <message>
        <source>Fixed 24V</source>
        <translation>Fixed 24V</translation>
    </message>
    <message>
        <source>Fixed 36V</source>
        <translation>Fixed 36V</translation>
    </message>
    <message>
        <source>Fixed 48V</source>
        <translation>Fixed 48V</translation>
    </message>
    <message>
        <source>Fixed 60V</source>
        <translation>Fixed 60V</translation>
    </message>
    <message>
        <source>Fixed 72V</source>
        <translation>Fixed 72V</translation>
    </message>
    <message>
        <source>Fixed 84V</source>
        <translation>Fixed 84V</translation>
    </message>
    <message>
        <source>Fixed 96V</source>
        <translation>Fixed 96V</translation>
    </message>
    <message>
        <source>Fixed 108V</source>
        <translation>Fixed 108V</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>Light time</source>
        <translation>Light time</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>Timing</source>
        <translation>Timing</translation>
    </message>
    <message>
        <source>Bulk</source>
        <translation>Bulk</translation>
    </message>
    <message>
        <source>Absorb</source>
        <translation>Absorb</translation>
    </message>
    <message>
        <source>Float</source>
        <translation>Float</translation>
    </message>
    <message>
        <source>Equalize</source>
        <translation>Equalize</translation>
    </message>
    <message>
        <source>STOP</source>
        <translation>STOP</translation>
    </message>
    <message>
        <source>BULK</source>
        <translation>BULK</translation>
    </message>
    <message>
        <source>MPPT</source>
        <translation>MPPT</translation>
    </message>
    <message>
        <source>Current</source>
        <translation>Current</translation>
    </message>
    <message>
        <source>CV</source>
        <translation>CV</translation>
    </message>
    <message>
        <source>LOW</source>
        <translation>LOW</translation>
    </message>
    <message>
        <source>Generating</source>
        <translation>Generating</translation>
    </message>
    <message>
        <source>Hight</source>
        <translation>High</translation>
    </message>
    <message>
        <source>NO</source>
        <translation>NO</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>14400</source>
        <translation>14400</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>38400</source>
        <translation>38400</translation>
    </message>
    <message>
        <source>43000</source>
        <translation>43000</translation>
    </message>
    <message>
        <source>57600</source>
        <translation>57600</translation>
    </message>
    <message>
        <source>76800</source>
        <translation>76800</translation>
    </message>
    <message>
        <source>115200</source>
        <translation>115200</translation>
    </message>
    <message>
        <source>56000</source>
        <translation>56000</translation>
    </message>
    <message>
        <source>已加密</source>
        <translation>Encrypted</translation>
    </message>
    <message>
        <source>未加密</source>
        <translation>Unencrypted</translation>
    </message>
    <message>
        <source>已校准</source>
        <translation>Calibrated</translation>
    </message>
    <message>
        <source>未校准</source>
        <translation>Not calibrated</translation>
    </message>
</context>
</TS>
