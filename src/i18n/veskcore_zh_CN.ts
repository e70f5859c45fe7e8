<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>PortChoices</name>
    <message>
        <source>saved COM</source>
        <translation>保存的 COM</translation>
    </message>
    <message>
        <source>%1%2 &quot;%3&quot; is not a port (%4); using the next source</source>
        <translation>%1%2 “%3”不是端口（%4）；改用下一个来源</translation>
    </message>
    <message>
        <source>%1: cannot be read; saved port choices are not used</source>
        <translation>%1：无法读取；不使用保存的端口选择</translation>
    </message>
    <message>
        <source>%1: cannot be written; port choices are not saved</source>
        <translation>%1：无法写入；端口选择没有保存</translation>
    </message>
</context>
<context>
    <name>PortLocation</name>
    <message>
        <source>expected tcp://[IPv6 address]:PORT</source>
        <translation>应为 tcp://[IPv6 地址]:端口</translation>
    </message>
    <message>
        <source>missing :PORT after the host</source>
        <translation>主机后缺少 :端口</translation>
    </message>
    <message>
        <source>an IPv6 address needs brackets: tcp://[ADDRESS]:PORT</source>
        <translation>IPv6 地址需要加方括号：tcp://[地址]:端口</translation>
    </message>
    <message>
        <source>the host is empty</source>
        <translation>主机为空</translation>
    </message>
    <message>
        <source>the host &quot;%1&quot; is not a host name or address</source>
        <translation>“%1”不是主机名或地址</translation>
    </message>
    <message>
        <source>the TCP port must be a number from 1 to 65535</source>
        <translation>TCP 端口必须是 1 到 65535 之间的数字</translation>
    </message>
    <message>
        <source>no port given</source>
        <translation>没有给出端口</translation>
    </message>
    <message>
        <source>control characters in the port name</source>
        <translation>端口名中有控制字符</translation>
    </message>
    <message>
        <source>only tcp:// addresses are supported</source>
        <translation>只支持 tcp:// 地址</translation>
    </message>
    <message>
        <source>expected a device path such as /dev/ttyUSB0, COMn or tcp://HOST:PORT</source>
        <translation>应为设备路径（如 /dev/ttyUSB0）、COMn 或 tcp://主机:端口</translation>
    </message>
    <message>
        <source>the path names a folder, not a device</source>
        <translation>该路径是文件夹，不是设备</translation>
    </message>
</context>
<context>
    <name>PortReasons</name>
    <message>
        <source>%1: busy, in use by process %2 (%3); lock file %4</source>
        <translation>%1：被占用，进程 %2（%3）正在使用；锁文件 %4</translation>
    </message>
    <message>
        <source>%1: no such device (the link points to %2, which is not there)</source>
        <translation>%1：设备不存在（链接指向的 %2 不存在）</translation>
    </message>
    <message>
        <source>%1: no such device</source>
        <translation>%1：设备不存在</translation>
    </message>
    <message>
        <source>process %1</source>
        <translation>进程 %1</translation>
    </message>
    <message>
        <source>process %1 (%2)</source>
        <translation>进程 %1（%2）</translation>
    </message>
    <message>
        <source>%1: busy, in use by %2; lock file %3</source>
        <translation>%1：被占用，%2 正在使用；锁文件 %3</translation>
    </message>
    <message>
        <source>%1: locked by a stale lock file %2 (owner %3, %4 has ended) that cannot be removed; remove it as that user or root</source>
        <translation>%1：被无法删除的残留锁文件 %2 锁定（所有者 %3，%4 已结束）；请以该用户或 root 身份删除它</translation>
    </message>
    <message>
        <source>%1: no folder for its lock file can be written</source>
        <translation>%1：没有可以写入锁文件的文件夹</translation>
    </message>
    <message>
        <source>%1: busy, the server is serving another client</source>
        <translation>%1：被占用，服务器正在为另一个客户端服务</translation>
    </message>
    <message>
        <source>%1: connection timed out (no answer within %2 s)</source>
        <translation>%1：连接超时（%2 秒内没有应答）</translation>
    </message>
    <message>
        <source>%1: connection refused</source>
        <translation>%1：连接被拒绝</translation>
    </message>
    <message>
        <source>%1: no such host</source>
        <translation>%1：主机不存在</translation>
    </message>
    <message>
        <source>%1: connection timed out</source>
        <translation>%1：连接超时</translation>
    </message>
    <message>
        <source>%1: TCP ports are not available (%2)</source>
        <translation>%1：无法使用 TCP 端口（%2）</translation>
    </message>
    <message>
        <source>%1: no permission to open the device; add your user to the %2 group (sudo usermod -aG %2 $USER) and log in again</source>
        <translation>%1：无权打开该设备；请把当前用户加入 %2 组（sudo usermod -aG %2 $USER）后重新登录</translation>
    </message>
    <message>
        <source>%1: busy, opened by another program</source>
        <translation>%1：被占用，另一个程序已打开它</translation>
    </message>
    <message>
        <source>%1: not a serial device</source>
        <translation>%1：不是串口设备</translation>
    </message>
    <message>
        <source>%1: the system did not open it as a serial port</source>
        <translation>%1：系统未能将其作为串口打开</translation>
    </message>
    <message>
        <source>a folder, not a serial device</source>
        <translation>是文件夹，不是串口设备</translation>
    </message>
    <message>
        <source>a regular file, not a serial device</source>
        <translation>是普通文件，不是串口设备</translation>
    </message>
    <message>
        <source>not a serial device</source>
        <translation>不是串口设备</translation>
    </message>
    <message>
        <source>%1: the connection failed</source>
        <translation>%1：连接失败</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message>
        <source>through %1, process %2</source>
        <translation>经由 %1（进程 %2）</translation>
    </message>
    <message>
        <source>in use by process %1 (vesk-mqtt), which shares it, but this user may not use its share %2 (permission denied: it is open to the device&apos;s owner and group)</source>
        <translation>进程 %1（vesk-mqtt）正在使用并共享它，但此用户无权使用其共享 %2（权限不足：只对设备的所有者和组开放）</translation>
    </message>
    <message>
        <source>in use by process %1 (vesk-mqtt), whose share %2 does not answer (%3)</source>
        <translation>进程 %1（vesk-mqtt）正在使用，其共享 %2 无应答（%3）</translation>
    </message>
    <message>
        <source>in use by process %1 (vesk-mqtt), whose share %2 did not greet within %3 ms</source>
        <translation>进程 %1（vesk-mqtt）正在使用，其共享 %2 在 %3 毫秒内未应答</translation>
    </message>
    <message>
        <source>in use by process %1 (%2), which refused to share it: %3</source>
        <translation>进程 %1（%2）正在使用，拒绝共享：%3</translation>
    </message>
</context>
</TS>
