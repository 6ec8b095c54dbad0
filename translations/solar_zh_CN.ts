<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ConfigFile</name>
    <message>
        <source>The file exists but cannot be read.</source>
        <translation>文件存在但无法读取。</translation>
    </message>
    <message>
        <source>The file is larger than 1 MiB and is left as it is.</source>
        <translation>文件大于 1 MiB，保持原样不变。</translation>
    </message>
</context>
<context>
    <name>HistoryExport</name>
    <message>
        <source>Export CSV</source>
        <translation>导出 CSV</translation>
    </message>
    <message>
        <source>History is not recorded</source>
        <translation>未在记录历史数据</translation>
    </message>
    <message>
        <source>Exporting %1 ...</source>
        <translation>正在导出 %1…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>From:</source>
        <translation>开始时间：</translation>
    </message>
    <message>
        <source>To:</source>
        <translation>结束时间：</translation>
    </message>
    <message>
        <source>The range ends before it begins.</source>
        <translation>结束时间早于开始时间。</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV 文件 (*.csv);;所有文件 (*)</translation>
    </message>
    <message>
        <source>%1 readings written to %2.</source>
        <translation>已将 %1 条记录写入 %2。</translation>
    </message>
</context>
<context>
    <name>LinkStatsEntry</name>
    <message>
        <source>Link statistics</source>
        <translation>通信统计</translation>
    </message>
    <message>
        <source>Link statistics (Ctrl+Shift+L)</source>
        <translation>通信统计 (Ctrl+Shift+L)</translation>
    </message>
</context>
<context>
    <name>LinkStatsWindow</name>
    <message>
        <source>Link statistics</source>
        <translation>通信统计</translation>
    </message>
    <message>
        <source>Live values</source>
        <translation>实时数据</translation>
    </message>
    <message>
        <source>Totals</source>
        <translation>累计量</translation>
    </message>
    <message>
        <source>Identity</source>
        <translation>设备信息</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>总线扫描</translation>
    </message>
    <message>
        <source>Parameter read</source>
        <translation>参数读取</translation>
    </message>
    <message>
        <source>Parameter write</source>
        <translation>参数写入</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>命令</translation>
    </message>
    <message>
        <source>All</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>Sent</source>
        <translation>已发送</translation>
    </message>
    <message>
        <source>Answered</source>
        <translation>已应答</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Timed out</source>
        <translation>超时</translation>
    </message>
    <message>
        <source>Re-sent</source>
        <translation>重发</translation>
    </message>
    <message>
        <source>Bad checksum</source>
        <translation>校验错误</translation>
    </message>
    <message>
        <source>Wrong address</source>
        <translation>地址错误</translation>
    </message>
    <message>
        <source>Wrong transaction</source>
        <translation>事务号错误</translation>
    </message>
    <message>
        <source>Wrong unit</source>
        <translation>单元号错误</translation>
    </message>
    <message>
        <source>Malformed</source>
        <translation>格式错误</translation>
    </message>
    <message>
        <source>Exception answers</source>
        <translation>异常应答</translation>
    </message>
    <message>
        <source>Bytes out</source>
        <translation>发送字节</translation>
    </message>
    <message>
        <source>Bytes in</source>
        <translation>接收字节</translation>
    </message>
    <message>
        <source>Round trip, mean (ms)</source>
        <translation>往返时间平均值 (ms)</translation>
    </message>
    <message>
        <source>Round trip up to %1 ms</source>
        <translation>往返时间不超过 %1 ms</translation>
    </message>
    <message>
        <source>Round trip over %1 ms</source>
        <translation>往返时间超过 %1 ms</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>清零</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message>
        <source>other: %1</source>
        <translation>其他：%1</translation>
    </message>
    <message>
        <source>Exception codes: none</source>
        <translation>异常码：无</translation>
    </message>
    <message>
        <source>Exception codes: %1</source>
        <translation>异常码：%1</translation>
    </message>
    <message>
        <source>No requests in the last five minutes</source>
        <translation>最近五分钟内没有请求</translation>
    </message>
    <message>
        <source>%1 % of %2 requests answered in the last five minutes</source>
        <translation>最近五分钟内 %2 次请求中 %1 % 得到应答</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>MainWindow</source>
        <translation>主窗口</translation>
    </message>
    <message>
        <source>QTabBar::tab { height: 26px; }</source>
        <translation>QTabBar::tab { height: 26px; }</translation>
    </message>
    <message>
        <source>Curve view</source>
        <translation>曲线</translation>
    </message>
    <message>
        <source>Show the time(m):</source>
        <translation>显示时长(分):</translation>
    </message>
    <message>
        <source>1000</source>
        <translation>1000</translation>
    </message>
    <message>
        <source>Basic information</source>
        <translation>基本信息</translation>
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
        <translation>内部温度：                           ℃</translation>
    </message>
    <message>
        <source>-00</source>
        <translation>-00</translation>
    </message>
    <message>
        <source>Component</source>
        <translation>光伏组件</translation>
    </message>
    <message>
        <source>Voltage:                 V</source>
        <translation>电压:                      V</translation>
    </message>
    <message>
        <source>000.00</source>
        <translation>000.00</translation>
    </message>
    <message>
        <source>Current:                 A</source>
        <translation>电流:                       A</translation>
    </message>
    <message>
        <source>Power:                   W</source>
        <translation>功率:                      W</translation>
    </message>
    <message>
        <source>State:        </source>
        <translation>状态:          </translation>
    </message>
    <message>
        <source>NO</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Called power：</source>
        <translation>额定功率：</translation>
    </message>
    <message>
        <source>0000001</source>
        <translation>0000001</translation>
    </message>
    <message>
        <source>Efficiency:              %</source>
        <translation>效率:                        %</translation>
    </message>
    <message>
        <source>00.00</source>
        <translation>00.00</translation>
    </message>
    <message>
        <source>Battery info</source>
        <translation>蓄电池信息</translation>
    </message>
    <message>
        <source>Voltage:                V</source>
        <translation>电压:                     V</translation>
    </message>
    <message>
        <source>Current:                A</source>
        <translation>电流:                     A</translation>
    </message>
    <message>
        <source>Stages：</source>
        <translation>阶段：</translation>
    </message>
    <message>
        <source>Bulk</source>
        <translation>快充</translation>
    </message>
    <message>
        <source>System：           V</source>
        <translation>系统：                V</translation>
    </message>
    <message>
        <source>000</source>
        <translation>000</translation>
    </message>
    <message>
        <source>Capacity：          %</source>
        <translation>容量：                  %</translation>
    </message>
    <message>
        <source>Temperature：       ℃</source>
        <translation>温度：                     ℃</translation>
    </message>
    <message>
        <source>Load info</source>
        <translation>负载信息</translation>
    </message>
    <message>
        <source>Voltage:                  V</source>
        <translation>电压:                       V</translation>
    </message>
    <message>
        <source>Current:                  A</source>
        <translation>电流:                       A</translation>
    </message>
    <message>
        <source>Power generation accumulation：</source>
        <translation>累计发电量：</translation>
    </message>
    <message>
        <source>Total:                   KAh</source>
        <translation>总计:                    KAh</translation>
    </message>
    <message>
        <source>Total:                   MWh</source>
        <translation>总计:                    MWh</translation>
    </message>
    <message>
        <source>Electricity accumulation：</source>
        <translation>累计用电量：</translation>
    </message>
    <message>
        <source>Total:                  KAh</source>
        <translation>总计:                   KAh</translation>
    </message>
    <message>
        <source>Total:                  MWh</source>
        <translation>总计:                   MWh</translation>
    </message>
    <message>
        <source>Device info：</source>
        <translation>设备信息：</translation>
    </message>
    <message>
        <source>Device rated voltage：                                       V</source>
        <translation>设备额定电压：                                                    V</translation>
    </message>
    <message>
        <source>0000</source>
        <translation>0000</translation>
    </message>
    <message>
        <source>Device rated charge current：                                      A</source>
        <translation>设备额定充电电流：                                                        A</translation>
    </message>
    <message>
        <source>Device rated discharge current：                                         A</source>
        <translation>设备额定放电电流：                                                                 A</translation>
    </message>
    <message>
        <source>Version info：</source>
        <translation>版本信息：</translation>
    </message>
    <message>
        <source>Unknow</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>Device model：</source>
        <translation>设备型号：</translation>
    </message>
    <message>
        <source>Device serial number：</source>
        <translation>设备序列号：</translation>
    </message>
    <message>
        <source>0000-0000-0000-0000</source>
        <translation>0000-0000-0000-0000</translation>
    </message>
    <message>
        <source>Factory：</source>
        <translation>厂家：</translation>
    </message>
    <message>
        <source>Send command</source>
        <translation>发送命令</translation>
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
        <translation>接收命令</translation>
    </message>
    <message>
        <source>Read configuration</source>
        <translation>读取配置</translation>
    </message>
    <message>
        <source>Write configuration</source>
        <translation>写入配置</translation>
    </message>
    <message>
        <source>One-click read</source>
        <translation>一键读取</translation>
    </message>
    <message>
        <source>One-click write</source>
        <translation>一键写入</translation>
    </message>
    <message>
        <source>one-click write</source>
        <translation>一键写入</translation>
    </message>
    <message>
        <source>Float charge voltage(V)</source>
        <translation>浮充电压(V)</translation>
    </message>
    <message>
        <source>000.0</source>
        <translation>000.0</translation>
    </message>
    <message>
        <source>read</source>
        <translation>读</translation>
    </message>
    <message>
        <source>write</source>
        <translation>写</translation>
    </message>
    <message>
        <source>Absorb charge voltage(V)</source>
        <translation>提升充电电压(V)</translation>
    </message>
    <message>
        <source>Equalize charge voltage(V)</source>
        <translation>均衡充电电压(V)</translation>
    </message>
    <message>
        <source>Aborb charge time(M) </source>
        <translation>提升充电时间(分) </translation>
    </message>
    <message>
        <source>Equalize charge time(M) </source>
        <translation>均衡充电时间(分) </translation>
    </message>
    <message>
        <source>Temperature compensation</source>
        <translation>温度补偿</translation>
    </message>
    <message>
        <source>-0</source>
        <translation>-0</translation>
    </message>
    <message>
        <source>Lithium battery capacity(AH)</source>
        <translation>锂电池容量(AH)</translation>
    </message>
    <message>
        <source>0000.0</source>
        <translation>0000.0</translation>
    </message>
    <message>
        <source>Lithium battery (CV)</source>
        <translation>锂电池恒压(CV)</translation>
    </message>
    <message>
        <source>Charge limit(V)</source>
        <translation>充电限压(V)</translation>
    </message>
    <message>
        <source>Low voltage protection(V)</source>
        <translation>低压保护(V)</translation>
    </message>
    <message>
        <source>Low voltage recovery(V)</source>
        <translation>低压恢复(V)</translation>
    </message>
    <message>
        <source>Over voltage protection(V)</source>
        <translation>过压保护(V)</translation>
    </message>
    <message>
        <source>Over voltage recovery(V)</source>
        <translation>过压恢复(V)</translation>
    </message>
    <message>
        <source>System voltage:</source>
        <translation>系统电压:</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>Fixed 12V</source>
        <translation>固定12V</translation>
    </message>
    <message>
        <source>Fixed 24V</source>
        <translation>固定24V</translation>
    </message>
    <message>
        <source>Fixed 36V</source>
        <translation>固定36V</translation>
    </message>
    <message>
        <source>Fixed 48V</source>
        <translation>固定48V</translation>
    </message>
    <message>
        <source>Battery type:</source>
        <translation>蓄电池类型:</translation>
    </message>
    <message>
        <source>Customize</source>
        <translation>自定义</translation>
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
        <translation>波特率:</translation>
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
        <translation>一键清除</translation>
    </message>
    <message>
        <source>Enable all</source>
        <translation>全部启用</translation>
    </message>
    <message>
        <source>Remove the total power generation(KAh)</source>
        <translation>清除累计发电量(KAh)</translation>
    </message>
    <message>
        <source>Remove the total power generation(WMh)</source>
        <translation>清除累计发电量(MWh)</translation>
    </message>
    <message>
        <source>Clear the total release cable(KAh)</source>
        <translation>清除累计放电量(KAh)</translation>
    </message>
    <message>
        <source>Clear the total release cable(MWh)</source>
        <translation>清除累计放电量(MWh)</translation>
    </message>
    <message>
        <source>Load mode</source>
        <translation>负载模式</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>常规</translation>
    </message>
    <message>
        <source>Light time</source>
        <translation>光控+时控</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>光控</translation>
    </message>
    <message>
        <source>Light on(V)</source>
        <translation>光控开启(V)</translation>
    </message>
    <message>
        <source>Light off(V)</source>
        <translation>光控关闭(V)</translation>
    </message>
    <message>
        <source>Night time(M)</source>
        <translation>夜间时间(分)</translation>
    </message>
    <message>
        <source>Self-check error</source>
        <translation>自检错误</translation>
    </message>
    <message>
        <source>Parameter not calibration</source>
        <translation>参数未校准</translation>
    </message>
    <message>
        <source>Battery temperature</source>
        <translation>电池温度</translation>
    </message>
    <message>
        <source>internal temperature</source>
        <translation>内部温度</translation>
    </message>
    <message>
        <source>PV not connected</source>
        <translation>光伏未接</translation>
    </message>
    <message>
        <source>PV over</source>
        <translation>光伏过压</translation>
    </message>
    <message>
        <source>internal over hear</source>
        <translation>内部过热</translation>
    </message>
    <message>
        <source>Battery Over</source>
        <translation>电池过压</translation>
    </message>
    <message>
        <source>Short circut</source>
        <translation>短路</translation>
    </message>
    <message>
        <source>Over load</source>
        <translation>过载</translation>
    </message>
    <message>
        <source>Low voltage</source>
        <translation>低压</translation>
    </message>
    <message>
        <source>Load on</source>
        <translation>负载开</translation>
    </message>
    <message>
        <source>Load off</source>
        <translation>负载关</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>复位</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>重启</translation>
    </message>
    <message>
        <source>PV Voltage</source>
        <translation>光伏电压</translation>
    </message>
    <message>
        <source>Battery Voltage</source>
        <translation>电池电压</translation>
    </message>
    <message>
        <source>Load Voltage</source>
        <translation>负载电压</translation>
    </message>
    <message>
        <source>Charging Current</source>
        <translation>充电电流</translation>
    </message>
    <message>
        <source>Discharge Current</source>
        <translation>放电电流</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Voltage(V)</source>
        <translation>电压(V)</translation>
    </message>
    <message>
        <source>Current(A)</source>
        <translation>电流(A)</translation>
    </message>
    <message>
        <source>PV Voltage:%1V
Battery Voltage:%2V
Load Voltage:%3V
Charging Current:%4A
Discharge Current:%5A
Time:%6</source>
        <translation>光伏电压:%1V
电池电压:%2V
负载电压:%3V
充电电流:%4A
放电电流:%5A
时间:%6</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Unkown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00</source>
        <translation>00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>Disonnect</source>
        <translation>断开</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>The serial port failed to open, please resched the serial port!</source>
        <translation>串口打开失败，请重新检查串口！</translation>
    </message>
    <message>
        <source>min</source>
        <translation>分钟</translation>
    </message>
    <message>
        <source>kept in whole hours</source>
        <translation>按整小时保存</translation>
    </message>
    <message>
        <source>%1 to %2 %3</source>
        <translation>%1 至 %2 %3</translation>
    </message>
    <message>
        <source>read only</source>
        <translation>只读</translation>
    </message>
</context>
<context>
    <name>OperatorFeedback</name>
    <message>
        <source>Solar Charge Controller Monitor</source>
        <translation>太阳能充电控制器监控</translation>
    </message>
    <message>
        <source>Connecting to %1 ...</source>
        <translation>正在连接 %1 ...</translation>
    </message>
    <message>
        <source>Connected to %1</source>
        <translation>已连接 %1</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>已断开</translation>
    </message>
    <message>
        <source>%1 refused the connection</source>
        <translation>%1 拒绝了连接</translation>
    </message>
    <message>
        <source>%1 cannot be reached (%2)</source>
        <translation>无法到达 %1（%2）</translation>
    </message>
    <message>
        <source>No answer from %1: the connection timed out</source>
        <translation>%1 无应答：连接超时</translation>
    </message>
    <message>
        <source>%1 closed the connection</source>
        <translation>%1 关闭了连接</translation>
    </message>
    <message>
        <source>Serial port %1 was lost (%2)</source>
        <translation>串口 %1 已丢失（%2）</translation>
    </message>
    <message>
        <source>Serial port %1 failed to open (%2)</source>
        <translation>串口 %1 打开失败（%2）</translation>
    </message>
    <message>
        <source>Connection to %1 failed (%2)</source>
        <translation>连接 %1 失败（%2）</translation>
    </message>
    <message>
        <source>No link chosen: pick Serial or Ethernet under Setting</source>
        <translation>未选择连接方式：请在“设置”中选择串口或以太网</translation>
    </message>
    <message>
        <source>Port: %1</source>
        <translation>端口：%1</translation>
    </message>
    <message>
        <source>Reason: %1</source>
        <translation>原因：%1</translation>
    </message>
    <message>
        <source>Your user may not use this port. Add it to the dialout group (sudo usermod -aG dialout $USER), then log in again.</source>
        <translation>当前用户无权使用此端口。请将用户加入 dialout 组（sudo usermod -aG dialout $USER），然后重新登录。</translation>
    </message>
    <message>
        <source>done</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>no answer from the controller</source>
        <translation>控制器无应答</translation>
    </message>
    <message>
        <source>illegal function</source>
        <translation>非法功能</translation>
    </message>
    <message>
        <source>illegal data address</source>
        <translation>非法数据地址</translation>
    </message>
    <message>
        <source>illegal data value</source>
        <translation>非法数据值</translation>
    </message>
    <message>
        <source>device failure</source>
        <translation>设备故障</translation>
    </message>
    <message>
        <source>exception code %1 (%2)</source>
        <translation>异常码 %1（%2）</translation>
    </message>
    <message>
        <source>exception code %1</source>
        <translation>异常码 %1</translation>
    </message>
    <message>
        <source>not available on this controller type</source>
        <translation>此控制器类型不支持</translation>
    </message>
    <message>
        <source>refused: read the block first</source>
        <translation>被拒绝：请先读取该组参数</translation>
    </message>
    <message>
        <source>value refused</source>
        <translation>数值被拒绝</translation>
    </message>
    <message>
        <source>link down: press Connect first</source>
        <translation>未连接：请先点击“连接”</translation>
    </message>
    <message>
        <source>%1 - %2</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>%1 - connecting to %2</source>
        <translation>%1 - 正在连接 %2</translation>
    </message>
    <message>
        <source>%1 - not connected</source>
        <translation>%1 - 未连接</translation>
    </message>
    <message>
        <source>&lt;h3&gt;%1&lt;/h3&gt;&lt;p&gt;Version %2&lt;/p&gt;&lt;p&gt;Built with Qt %3 (running %4) and QCustomPlot %5.&lt;/p&gt;&lt;p&gt;Keys: Ctrl+, Setting; Ctrl+L Connect/Disconnect; Ctrl+1 and Ctrl+2 the tabs; Ctrl+Shift+R Read configuration; Ctrl+Shift+W Write configuration.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;%1&lt;/h3&gt;&lt;p&gt;版本 %2&lt;/p&gt;&lt;p&gt;使用 Qt %3（运行于 %4）和 QCustomPlot %5 构建。&lt;/p&gt;&lt;p&gt;快捷键：Ctrl+, 设置；Ctrl+L 连接/断开；Ctrl+1 和 Ctrl+2 切换标签页；Ctrl+Shift+R 读取配置；Ctrl+Shift+W 写入配置。&lt;/p&gt;</translation>
    </message>
    <message>
        <source>%1: done</source>
        <translation>%1：完成</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>失败：%1</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Read every parameter (Ctrl+Shift+R)</source>
        <translation>读取全部参数 (Ctrl+Shift+R)</translation>
    </message>
    <message>
        <source>Write every parameter (Ctrl+Shift+W)</source>
        <translation>写入全部参数 (Ctrl+Shift+W)</translation>
    </message>
    <message>
        <source>Ctrl+%1</source>
        <translation>Ctrl+%1</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>关于 %1</translation>
    </message>
    <message>
        <source>No serial port is set: choose one under Setting.</source>
        <translation>未设置串口：请在“设置”中选择一个。</translation>
    </message>
</context>
<context>
    <name>YieldView</name>
    <message>
        <source>History</source>
        <translation>历史</translation>
    </message>
    <message>
        <source>Ctrl+%1</source>
        <translation>Ctrl+%1</translation>
    </message>
    <message>
        <source>Day</source>
        <translation>日期</translation>
    </message>
    <message>
        <source>Generated (kWh)</source>
        <translation>发电量 (kWh)</translation>
    </message>
    <message>
        <source>Consumed (kWh)</source>
        <translation>用电量 (kWh)</translation>
    </message>
    <message>
        <source>Lowest battery voltage (V)</source>
        <translation>最低电池电压 (V)</translation>
    </message>
    <message>
        <source>Highest battery voltage (V)</source>
        <translation>最高电池电压 (V)</translation>
    </message>
    <message>
        <source>Click a day to see its curve</source>
        <translation>单击某一天可查看其曲线</translation>
    </message>
    <message>
        <source>Energy (kWh)</source>
        <translation>电量 (kWh)</translation>
    </message>
    <message>
        <source>Battery voltage (V)</source>
        <translation>电池电压 (V)</translation>
    </message>
    <message>
        <source>Generated</source>
        <translation>发电量</translation>
    </message>
    <message>
        <source>Consumed</source>
        <translation>用电量</translation>
    </message>
    <message>
        <source>Lowest battery voltage</source>
        <translation>最低电池电压</translation>
    </message>
    <message>
        <source>Highest battery voltage</source>
        <translation>最高电池电压</translation>
    </message>
    <message>
        <source>The last %1 days of the controller at address %2. Click a day to see its curve.</source>
        <translation>地址 %2 的控制器最近 %1 天的数据。单击某一天可查看其曲线。</translation>
    </message>
</context>
<context>
    <name>app_setting_Dialog</name>
    <message>
        <source>Dialog</source>
        <translation>对话框</translation>
    </message>
    <message>
        <source>Communication mode</source>
        <translation>通信方式</translation>
    </message>
    <message>
        <source>Serial.</source>
        <translation>串口</translation>
    </message>
    <message>
        <source>Port：</source>
        <translation>端口：</translation>
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
        <translation>波特率：</translation>
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
        <translation>从机地址：</translation>
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
        <translation>以太网</translation>
    </message>
    <message>
        <source>IP Address：</source>
        <translation>IP 地址：</translation>
    </message>
    <message>
        <source>Communication protocol</source>
        <translation>通信协议</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>自定义</translation>
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
        <translation>控制器类型</translation>
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
        <translation>设置</translation>
    </message>
    <message>
        <source>The settings could not be saved to %1:
%2</source>
        <translation>设置无法保存到 %1：
%2</translation>
    </message>
    <message>
        <source>Record history</source>
        <translation>记录历史数据</translation>
    </message>
</context>
<context>
    <name>com_protocol_solar</name>
    <message>
        <source>Customize</source>
        <translation>自定义</translation>
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
        <translation>自动</translation>
    </message>
    <message>
        <source>Fixed 12V</source>
        <translation>固定12V</translation>
    </message>
    <message>
        <source>Fixed 24V</source>
        <translation>固定24V</translation>
    </message>
    <message>
        <source>Fixed 36V</source>
        <translation>固定36V</translation>
    </message>
    <message>
        <source>Fixed 48V</source>
        <translation>固定48V</translation>
    </message>
    <message>
        <source>Fixed 60V</source>
        <translation>固定60V</translation>
    </message>
    <message>
        <source>Fixed 72V</source>
        <translation>固定72V</translation>
    </message>
    <message>
        <source>Fixed 84V</source>
        <translation>固定84V</translation>
    </message>
    <message>
        <source>Fixed 96V</source>
        <translation>固定96V</translation>
    </message>
    <message>
        <source>Fixed 108V</source>
        <translation>固定108V</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>常规</translation>
    </message>
    <message>
        <source>Light time</source>
        <translation>光控+时控</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>光控</translation>
    </message>
    <message>
        <source>Timing</source>
        <translation>时控</translation>
    </message>
    <message>
        <source>Bulk</source>
        <translation>快充</translation>
    </message>
    <message>
        <source>Absorb</source>
        <translation>提升</translation>
    </message>
    <message>
        <source>Float</source>
        <translation>浮充</translation>
    </message>
    <message>
        <source>Equalize</source>
        <translation>均衡</translation>
    </message>
    <message>
        <source>STOP</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>BULK</source>
        <translation>快充</translation>
    </message>
    <message>
        <source>MPPT</source>
        <translation>MPPT</translation>
    </message>
    <message>
        <source>Current</source>
        <translation>恒流</translation>
    </message>
    <message>
        <source>CV</source>
        <translation>恒压</translation>
    </message>
    <message>
        <source>LOW</source>
        <translation>低</translation>
    </message>
    <message>
        <source>Generating</source>
        <translation>发电中</translation>
    </message>
    <message>
        <source>Hight</source>
        <translation>高</translation>
    </message>
    <message>
        <source>NO</source>
        <translation>无</translation>
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
        <translation>已加密</translation>
    </message>
    <message>
        <source>未加密</source>
        <translation>未加密</translation>
    </message>
    <message>
        <source>已校准</source>
        <translation>已校准</translation>
    </message>
    <message>
        <source>未校准</source>
        <translation>未校准</translation>
    </message>
</context>
</TS>
