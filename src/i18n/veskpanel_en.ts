<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>vesk::AddressArea</name>
    <message>
        <source>设备ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>十六进制</source>
        <translation>Hexadecimal</translation>
    </message>
    <message>
        <source>新设备ID</source>
        <translation>New device ID</translation>
    </message>
    <message>
        <source>广播ID</source>
        <translation>All</translation>
    </message>
    <message>
        <source>设 置 ID</source>
        <translation>Set ID</translation>
    </message>
    <message>
        <source>ID号</source>
        <translation>New</translation>
    </message>
    <message>
        <source>未选择新的设备ID，本次操作没有发送。</source>
        <translation>No new device ID is selected; nothing was sent.</translation>
    </message>
    <message>
        <source>设备ID</source>
        <comment>the list&apos;s name</comment>
        <translation>Device ID</translation>
    </message>
</context>
<context>
    <name>vesk::BuildProfile</name>
    <message>
        <source>VESK系列电源控制器V3.0  Data：100715</source>
        <translation>VESK Series Power Controller V3.0  Data: 100715</translation>
    </message>
    <message>
        <source>VESK系列电源控制器V3.0   维斯克电源  Data：090717</source>
        <translation>VESK Series Power Controller V3.0   VESK Power  Data: 090717</translation>
    </message>
</context>
<context>
    <name>vesk::ChannelStateArea</name>
    <message>
        <source>面板按键关联选择</source>
        <translation>Channel states</translation>
    </message>
    <message>
        <source>开 启</source>
        <translation>On</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>state</translation>
    </message>
    <message>
        <source>按下为关闭，弹起为开启</source>
        <translation>Pressed: off; released: on</translation>
    </message>
    <message>
        <source>设置通道状态</source>
        <translation>Set states</translation>
    </message>
    <message>
        <source>关 闭</source>
        <translation>Off</translation>
    </message>
</context>
<context>
    <name>vesk::DataDisplay</name>
    <message>
        <source>设置ID，互锁，延时时间等功能后请重启设备！！
</source>
        <translation>Restart the device after setting the ID, interlocks, delays and the like!!
</translation>
    </message>
</context>
<context>
    <name>vesk::DelayLogic</name>
    <message>
        <source>第%1文本框数据溢出！！ </source>
        <translation>Box %1: value out of range!! </translation>
    </message>
</context>
<context>
    <name>vesk::DelayTableArea</name>
    <message>
        <source>通道一</source>
        <translation>Ch 1</translation>
    </message>
    <message>
        <source>通道二</source>
        <translation>Ch 2</translation>
    </message>
    <message>
        <source>通道三</source>
        <translation>Ch 3</translation>
    </message>
    <message>
        <source>通道四</source>
        <translation>Ch 4</translation>
    </message>
    <message>
        <source>通道五</source>
        <translation>Ch 5</translation>
    </message>
    <message>
        <source>通道六</source>
        <translation>Ch 6</translation>
    </message>
    <message>
        <source>通道七</source>
        <translation>Ch 7</translation>
    </message>
    <message>
        <source>通道八</source>
        <translation>Ch 8</translation>
    </message>
    <message>
        <source>通道开启延时时间</source>
        <translation>On delays</translation>
    </message>
    <message>
        <source>通道关闭延时时间</source>
        <translation>Off delays</translation>
    </message>
    <message>
        <source>开延时</source>
        <translation>on delay</translation>
    </message>
    <message>
        <source>关延时</source>
        <translation>off delay</translation>
    </message>
    <message>
        <source>%1(秒)</source>
        <translation>%1 (s)</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>改变数值后双击发送</source>
        <translation>Change the values, then double-click to send</translation>
    </message>
    <message>
        <source>设置端口开启延世时间</source>
        <translation>Set on delays</translation>
    </message>
    <message>
        <source>设置端口关闭延时时间</source>
        <translation>Set off delays</translation>
    </message>
</context>
<context>
    <name>vesk::DeviceLink</name>
    <message>
        <source>未选择设备ID，本次操作没有发送。</source>
        <translation>No device ID is selected; nothing was sent.</translation>
    </message>
    <message>
        <source>COM %1 被占用或损坏!</source>
        <translation>COM %1 is in use or broken!</translation>
    </message>
    <message>
        <source>操作失败！请检查线路和设备。</source>
        <translation>Operation failed! Check the line and the device.</translation>
    </message>
    <message>
        <source>仍在连接，尚未连通</source>
        <translation>still connecting, not connected yet</translation>
    </message>
    <message>
        <source>设备已断开</source>
        <translation>the device was disconnected</translation>
    </message>
</context>
<context>
    <name>vesk::InterlockArea</name>
    <message>
        <source>通道一与通道二</source>
        <translation>Channels 1 and 2</translation>
    </message>
    <message>
        <source>通道三与通道四</source>
        <translation>Channels 3 and 4</translation>
    </message>
    <message>
        <source>通道五与通道六</source>
        <translation>Channels 5 and 6</translation>
    </message>
    <message>
        <source>通道七与通道八</source>
        <translation>Channels 7 and 8</translation>
    </message>
    <message>
        <source>%1互锁</source>
        <translation>%1 interlocked</translation>
    </message>
    <message>
        <source>设置通道%1与通道%2互锁</source>
        <translation>Interlock %1 and %2</translation>
    </message>
    <message>
        <source>解除通道%1与通道%2互锁</source>
        <translation>Release %1 and %2</translation>
    </message>
</context>
<context>
    <name>vesk::KeyLockArea</name>
    <message>
        <source>面板按键解锁</source>
        <translation>Unlock panel keys</translation>
    </message>
    <message>
        <source>面板按键上锁</source>
        <translation>Lock panel keys</translation>
    </message>
</context>
<context>
    <name>vesk::Notices</name>
    <message>
        <source>VESK系列电源控制器</source>
        <translation>VESK Series Power Controller</translation>
    </message>
</context>
<context>
    <name>vesk::PortSelector</name>
    <message>
        <source>命令行</source>
        <translation>command line</translation>
    </message>
    <message>
        <source>环境变量</source>
        <translation>environment</translation>
    </message>
    <message>
        <source>保存的选择</source>
        <translation>saved choice</translation>
    </message>
    <message>
        <source>默认</source>
        <translation>default</translation>
    </message>
    <message>
        <source>序列号 %1</source>
        <translation>serial number %1</translation>
    </message>
    <message>
        <source>COM%1: %2（%3）</source>
        <translation>COM%1: %2 (%3)</translation>
    </message>
    <message>
        <source>已打开，设备已应答</source>
        <translation>open, the device has answered</translation>
    </message>
    <message>
        <source>已打开，设备尚未应答</source>
        <translation>open, no answer from the device yet</translation>
    </message>
    <message>
        <source>正在连接…</source>
        <translation>connecting…</translation>
    </message>
    <message>
        <source>设备已断开，等待重新连接…</source>
        <translation>device disconnected, waiting for it to come back…</translation>
    </message>
    <message>
        <source>打开失败：%1</source>
        <translation>failed to open: %1</translation>
    </message>
    <message>
        <source>（未找到串口）</source>
        <translation>(no serial ports found)</translation>
    </message>
    <message>
        <source>其他路径或 tcp:// 地址…</source>
        <translation>Other path or tcp:// address…</translation>
    </message>
    <message>
        <source>忘记保存的选择</source>
        <translation>Forget the saved choice</translation>
    </message>
    <message>
        <source>COM%1 的设备路径（如 /dev/ttyUSB0）或 tcp://主机:端口：</source>
        <translation>Device path for COM%1 (such as /dev/ttyUSB0) or tcp://HOST:PORT:</translation>
    </message>
    <message>
        <source>“%1”不是有效的端口：%2</source>
        <translation>&quot;%1&quot; is not a valid port: %2</translation>
    </message>
    <message>
        <source>已打开；%1</source>
        <translation>open; %1</translation>
    </message>
    <message>
        <source>%1 目前不存在（适配器未插上？）。已为 COM%2 保存，插上后即可使用。</source>
        <translation>%1 does not exist now (adapter not plugged in?). Saved for COM%2; it can be used once plugged in.</translation>
    </message>
</context>
<context>
    <name>vesk::PowerOnArea</name>
    <message>
        <source>断电前状态</source>
        <translation>Before power loss</translation>
    </message>
    <message>
        <source>用户自定义状态</source>
        <translation>User-defined state</translation>
    </message>
    <message>
        <source>开机状态</source>
        <translation>power-on state</translation>
    </message>
    <message>
        <source>选中为开，未选为关</source>
        <translation>Ticked: on; unticked: off</translation>
    </message>
</context>
<context>
    <name>vesk::QueryArea</name>
    <message>
        <source>查询设备当前状态</source>
        <translation>Query states</translation>
    </message>
    <message>
        <source>代码:CA 20 ID 20 01 01 AC</source>
        <translation>Code: CA 20 ID 20 01 01 AC</translation>
    </message>
    <message>
        <source>自动查询设备状态</source>
        <translation>Auto query</translation>
    </message>
</context>
<context>
    <name>vesk::Reply</name>
    <message>
        <source>设备返回：%1</source>
        <translation>Device replied: %1</translation>
    </message>
    <message>
        <source>（不是状态应答，指示灯未变）</source>
        <translation>(not a status reply)</translation>
    </message>
</context>
<context>
    <name>vesk::SeriesArea</name>
    <message>
        <source>QX系列</source>
        <translation>QX</translation>
    </message>
    <message>
        <source>5200系列</source>
        <translation>5200</translation>
    </message>
</context>
<context>
    <name>vesk::SingleChannelArea</name>
    <message>
        <source>开启①</source>
        <translation>On 1</translation>
    </message>
    <message>
        <source>开启②</source>
        <translation>On 2</translation>
    </message>
    <message>
        <source>开启③</source>
        <translation>On 3</translation>
    </message>
    <message>
        <source>开启④</source>
        <translation>On 4</translation>
    </message>
    <message>
        <source>开启⑤</source>
        <translation>On 5</translation>
    </message>
    <message>
        <source>开启⑥</source>
        <translation>On 6</translation>
    </message>
    <message>
        <source>开启⑦</source>
        <translation>On 7</translation>
    </message>
    <message>
        <source>开启⑧</source>
        <translation>On 8</translation>
    </message>
    <message>
        <source>关闭①</source>
        <translation>Off 1</translation>
    </message>
    <message>
        <source>关闭②</source>
        <translation>Off 2</translation>
    </message>
    <message>
        <source>关闭③</source>
        <translation>Off 3</translation>
    </message>
    <message>
        <source>关闭④</source>
        <translation>Off 4</translation>
    </message>
    <message>
        <source>关闭⑤</source>
        <translation>Off 5</translation>
    </message>
    <message>
        <source>关闭⑥</source>
        <translation>Off 6</translation>
    </message>
    <message>
        <source>关闭⑦</source>
        <translation>Off 7</translation>
    </message>
    <message>
        <source>关闭⑧</source>
        <translation>Off 8</translation>
    </message>
    <message>
        <source>开启通道一</source>
        <translation>Channel 1 on</translation>
    </message>
    <message>
        <source>开启通道二</source>
        <translation>Channel 2 on</translation>
    </message>
    <message>
        <source>开启通道三</source>
        <translation>Channel 3 on</translation>
    </message>
    <message>
        <source>开启通道四</source>
        <translation>Channel 4 on</translation>
    </message>
    <message>
        <source>开启通道五</source>
        <translation>Channel 5 on</translation>
    </message>
    <message>
        <source>开启通道六</source>
        <translation>Channel 6 on</translation>
    </message>
    <message>
        <source>开启通道七</source>
        <translation>Channel 7 on</translation>
    </message>
    <message>
        <source>开启通道八</source>
        <translation>Channel 8 on</translation>
    </message>
    <message>
        <source>关闭通道一</source>
        <translation>Channel 1 off</translation>
    </message>
    <message>
        <source>关闭通道二</source>
        <translation>Channel 2 off</translation>
    </message>
    <message>
        <source>关闭通道三</source>
        <translation>Channel 3 off</translation>
    </message>
    <message>
        <source>关闭通道四</source>
        <translation>Channel 4 off</translation>
    </message>
    <message>
        <source>关闭通道五</source>
        <translation>Channel 5 off</translation>
    </message>
    <message>
        <source>关闭通道六</source>
        <translation>Channel 6 off</translation>
    </message>
    <message>
        <source>关闭通道七</source>
        <translation>Channel 7 off</translation>
    </message>
    <message>
        <source>关闭通道八</source>
        <translation>Channel 8 off</translation>
    </message>
    <message>
        <source>底色为红时通道%1已开启</source>
        <translation>Red face: channel %1 is on</translation>
    </message>
    <message>
        <source>%1；%2</source>
        <translation>%1; %2</translation>
    </message>
</context>
<context>
    <name>vesk::SpinButton</name>
    <message>
        <source>%1调节</source>
        <translation>%1 adjuster</translation>
    </message>
    <message>
        <source>%1减小</source>
        <translation>%1 down</translation>
    </message>
    <message>
        <source>%1增大</source>
        <translation>%1 up</translation>
    </message>
</context>
<context>
    <name>vesk::StatusQuery</name>
    <message>
        <source>查询无应答（打开以来未应答过）</source>
        <translation>no answer to the query (none since the port opened)</translation>
    </message>
    <message>
        <source>最后一次应答 %1，之后无应答</source>
        <translation>last answer %1, none since</translation>
    </message>
</context>
<context>
    <name>vesk::TimedAllArea</name>
    <message>
        <source>按设定时间全开</source>
        <translation>All on, timed</translation>
    </message>
    <message>
        <source>按设定时间全关</source>
        <translation>All off, timed</translation>
    </message>
</context>
<context>
    <name>vesk::VESK</name>
    <message>
        <source>控制端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>互锁设置模块</source>
        <translation>Interlocks</translation>
    </message>
    <message>
        <source>开机状态设置</source>
        <translation>Power-on state</translation>
    </message>
    <message>
        <source>通道状态与延时时间</source>
        <translation>Channel states and delays</translation>
    </message>
    <message>
        <source>通道开关设置区</source>
        <translation>Channel switches</translation>
    </message>
    <message>
        <source>单端口操作区</source>
        <translation>Single channel</translation>
    </message>
    <message>
        <source>数据显示区</source>
        <translation>Data display</translation>
    </message>
    <message>
        <source>数据显示</source>
        <translation>Data display</translation>
    </message>
    <message>
        <source>忽略返回</source>
        <translation>No reply</translation>
    </message>
    <message>
        <source>说明:选中为开未选为关!</source>
        <translation>Ticked = on, else off!</translation>
    </message>
</context>
<context>
    <name>vesk::toolkit</name>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Retry</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Continue</translation>
    </message>
    <message>
        <source>通道%1 %2</source>
        <translation>Channel %1 %2</translation>
    </message>
</context>
</TS>
