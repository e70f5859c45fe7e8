<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>vesk::MultiChannelArea</name>
    <message>
        <source>多端口操作区</source>
        <translation>Multi-channel</translation>
    </message>
    <message>
        <source>不参与</source>
        <translation>left out</translation>
    </message>
    <message>
        <source>选中时此通道不参与本次操作</source>
        <translation>Ticked: this channel takes no part in the operation</translation>
    </message>
    <message>
        <source>关</source>
        <translation>off</translation>
    </message>
    <message>
        <source>开</source>
        <translation>on</translation>
    </message>
    <message>
        <source>目标状态</source>
        <translation>target state</translation>
    </message>
    <message>
        <source>选中为开，未选为关</source>
        <translation>Ticked: on; unticked: off</translation>
    </message>
    <message>
        <source>延时参数</source>
        <translation>Delay</translation>
    </message>
    <message>
        <source>延时数值</source>
        <translation>Delay value</translation>
    </message>
    <message>
        <source>延时单位</source>
        <translation>Delay unit</translation>
    </message>
    <message>
        <source>执行操作</source>
        <translation>Execute</translation>
    </message>
    <message>
        <source>秒钟</source>
        <translation>sec</translation>
    </message>
    <message>
        <source>分钟</source>
        <translation>min</translation>
    </message>
    <message>
        <source>小时</source>
        <translation>hour</translation>
    </message>
</context>
</TS>
