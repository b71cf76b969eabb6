#include "app/control_layout.h"

namespace {
constexpr auto F = ControlKind::Frame;
constexpr auto L = ControlKind::Label;
constexpr auto C = ControlKind::ComboBox;
constexpr auto B = ControlKind::Button;
constexpr auto E = ControlKind::LineEdit;
constexpr auto T = ControlKind::TextBox;
constexpr auto H = ControlKind::Line;
} // namespace

// clang-format off
const std::vector<ControlEntry> kControlLayout{
    // name         kind  container  caption or initial text       left  top   width height tab
    {"Frame1",      F, nullptr,  "串口配置",                       120,  120,  5175, 975,   0},
    {"串口号",      L, "Frame1", "串口号：",                       120,  450,  855,  255,   1},
    {"Label1",      L, "Frame1", "波特率：",                       2280, 450,  1095, 255,   2},
    {"Combo1",      C, "Frame1", "",                               840,  400,  1335, 300,   3},
    {"Combo2",      C, "Frame1", "",                               3000, 400,  1335, 300,   4},
    {"Command1",    B, "Frame1", "打开",                           4440, 120,  615,  375,   5},
    {"Command2",    B, "Frame1", "刷新",                           4440, 530,  615,  375,   6},
    {"Frame2",      F, nullptr,  "串口信息",                       120,  1200, 5175, 4575,  7},
    {"Label4",      L, "Frame2", "接收信息框：",                   120,  240,  1215, 375,   15},
    {"Text3",       T, "Frame2", "",                               120,  480,  4935, 1815,  16},
    {"Line1",       H, "Frame2", "",                               120,  2400, 4920, 0,     -1},
    {"Label5",      L, "Frame2", "发送信息框：",                   120,  2520, 1215, 255,   17},
    {"Text4",       T, "Frame2", "AT\r\n",                         120,  2760, 4935, 1695,  18},
    {"Frame3",      F, nullptr,  "TCP Server配置",                 5400, 120,  3855, 975,   8},
    {"Label2",      L, "Frame3", "本地IP：",                       300,  315,  975,  255,   9},
    {"Label3",      L, "Frame3", "监听端口：",                     120,  650,  1095, 255,   10},
    {"Text1",       E, "Frame3", "",                               960,  270,  1575, 270,   11},
    {"Text2",       E, "Frame3", "8266",                           960,  600,  1575, 270,   12},
    {"Command3",    B, "Frame3", "开启监听",                       2640, 240,  975,  615,   13},
    {"Frame4",      F, nullptr,  "TCP Server信息",                 5400, 1200, 3855, 4575,  14},
    {"Label6",      L, "Frame4", "接收信息框：",                   120,  240,  1215, 255,   19},
    {"Text5",       T, "Frame4", "",                               120,  480,  3615, 1815,  20},
    {"Line2",       H, "Frame4", "",                               120,  2400, 3600, 0,     -1},
    {"Text6",       T, "Frame4", "",                               120,  2760, 3615, 1695,  21},
    {"Label7",      L, "Frame4", "发送信息框：",                   120,  2520, 1335, 255,   22},
    {"Frame5",      F, nullptr,  "功能选项",                       120,  5880, 9135, 855,   23},
    {"Command4",    B, "Frame5", "发送串口信息",                   240,  240,  1935, 495,   24, false},
    {"Command5",    B, "Frame5", "清空串口内容",                   2280, 240,  1935, 495,   25},
    {"Command6",    B, "Frame5", "发送TCP信息",                    4920, 240,  1935, 495,   26, false},
    {"Command7",    B, "Frame5", "清空TCP内容",                    6960, 240,  1935, 495,   27},
    {"Frame6",      F, nullptr,  "ESP8266 AT指令表",               120,  6840, 9135, 1455,  28},
    {"Command8",    B, "Frame6", "AT测试",                         120,  240,  975,  495,   29},
    {"Command9",    B, "Frame6", "版本号",                         120,  840,  975,  495,   30},
    {"Command10",   B, "Frame6", "重启模块",                       1320, 240,  975,  495,   31},
    {"Command11",   B, "Frame6", "设置模式",                       1320, 840,  975,  495,   32, true, "设置应用模式"},
    {"Command12",   B, "Frame6", "列出AP",                         2520, 240,  975,  495,   33},
    {"Command13",   B, "Frame6", "加入AP",                         2520, 840,  975,  495,   34},
    {"Command14",   B, "Frame6", "退出AP",                         3720, 240,  975,  495,   35},
    {"Command15",   B, "Frame6", "查看IP",                         3720, 840,  975,  495,   36},
    {"Command16",   B, "Frame6", "建立TCP",                        4920, 240,  1095, 495,   37},
    {"Command17",   B, "Frame6", "发送TCPData",                    4920, 840,  1095, 495,   38},
    {"Command18",   B, "Frame6", "TCP状态",                        6240, 240,  1095, 495,   39},
    {"Command19",   B, "Frame6", "Set TCP Client",                 6240, 840,  1095, 495,   40},
    {"Command20",   B, "Frame6", "关闭TCP连接",                    7560, 240,  1455, 495,   41},
    {"Command21",   B, "Frame6", "TCP连接模式",                    7560, 840,  1455, 495,   42},
};
// clang-format on

QStringList baudRates()
{
    return {QStringLiteral("110"),   QStringLiteral("300"),   QStringLiteral("600"),
            QStringLiteral("1200"),  QStringLiteral("2400"),  QStringLiteral("4800"),
            QStringLiteral("9600"),  QStringLiteral("14400"), QStringLiteral("19200"),
            QStringLiteral("38400"), QStringLiteral("56000"), QStringLiteral("57600"),
            QStringLiteral("115200")};
}
