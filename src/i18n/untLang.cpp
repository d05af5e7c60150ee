#include "untLang.h"

#include <QCoreApplication>
#include <QPointer>

#include <array>

namespace {

// English text as written in the window and the code -> Chinese text. Spaces, case,
// punctuation and "\r" are part of the key.
// clang-format off
// Sized by its entries, so that adding a text is one line.
constexpr TLangEntry LangTable[] = {
    {"Quillet", "澜桥仔"},
    {"MAC:", "设备MAC："},
    {"IP/DNS:", "IP/域名："},
    {"Port:", "设备端口："},
    {"Input error!", "输入内容有误！"},
    {"Device", "设 备"},
    {"User", "用 户"},
    {"Message", "信 息"},
    {"More", "更 多"},
    {"Control", "控 制"},
    {"All ON", "全 开"},
    {"All OFF", "全 关"},
    {"No name", "未命名"},
    {"Add", "添 加"},
    {"OK", "确 定"},
    {"Cancel", "取 消"},
    {"Task list", "定时计划"},
    {"Task Add", "添加定时"},
    {"Device MAC:", "设备MAC："},
    {"Activation code:", "激活码："},
    {"Account:", "账  号："},
    {"Password:", "密  码："},
    {"Everyday", "每天"},
    {"Weekdays", "工作日"},
    {"Weekends", "休息日"},
    {"Once", "单次"},
    {"Custom", "自定义"},
    {" SU", " 日"},
    {" MO", " 一"},
    {" TU", " 二"},
    {" WE", " 三"},
    {" TH", " 四"},
    {" FR", " 五"},
    {" SA", " 六"},
    {"Turn ON", "开启"},
    {"Turn OFF", "关闭"},
    {"Turn Reverse", "取反"},
    {"SartTime", "开始时间"},
    {"Week", "重 复"},
    {"The device is not verified!", "设备尚未验证通过！"},
    {"The device is connecting!", "设备仍在连接中！"},
    {"The device is disconnected!", "设备未连接！"},
    {"The device password error!", "设备密码错误！"},
    {"The device connect overtime!", "设备连接超时！"},
    {"The device is off-line!", "设备离线！"},
    {"No permission to control the device!", "无权限控制本设备！"},
    {"Device connection failed!", "设备连接失败！"},
    {"Add Device", "添加设备"},
    {"By address", "按地址添加"},
    {"New name:", "新名称："},
    {"Change device name", "修改设备名称"},
    {"Change IO name", "修改通道名称"},
    {"Read", "查 看"},
    {"Read message failed!", "读取新闻失败！"},
    {"Inpu time is not a valid data and time!", "输入时间日期为非预期值！"},
    {"Users guide", "使用帮助"},
    {"About us", "关于我们"},
    {"Feedback", "意见反馈"},
    {"English", "中文"},
    {"Login", "登 录"},
    {"Register", "注 册"},
    {"Account length requires 1 to 32 bytes!", "账号长度需要1到32个字节之间！"},
    {"Password length requires 1 to 32 bytes!", "密码长度需要1到32个字节之间！"},
    {"Password length requires 1 to 6 bytes!", "密码长度需要1到6个字节之间！"},
    {"Device name length requires 1 to 16 bytes!", "名称长度需要1到16个字节之间！"},
    {"account or password not correct", "账号或密码错误"},
    {"NickName:", "昵  称："},
    {"Change password", "修改密码"},
    {"last login time:", "上次登录时间："},
    {"last login IP:", "上次登录IP："},
    {"Email:", "注册邮箱："},
    {"User Name:", "用户姓名："},
    {"Telephone:", "注册电话："},
    {"Address:", "用户地址："},
    {"Remark:", "备  注："},
    {"Account Information", "账户信息"},
    {"User information", "用户信息"},
    {"Change information", "修改用户信息"},
    {"Login information", "登录信息"},
    {"edit success", "修改成功"},
    {"Not allowed to Edit!", "不允许修改！"},
    {"User information change ok!", "用户信息修改成功！"},
    {"Old:", "旧 密 码："},
    {"New:", "新 密 码："},
    {"User password change ok!", "用户密码修改成功！"},
    {"Retype:", "重新输入："},
    {"Two different password!", "两次输入密码不同！"},
    {"Re Login", "重新登录"},
    {"Log out", "退出登录"},
    {"Register ok!", "注册成功！"},
    {"Unlogged", "未登录"},
    {"No validation", "验证中..."},
    {"Connecting...", "连接中..."},
    {"Disconnected", "连接断开"},
    {"Password error", "密码错误"},
    {"Connect Timeout", "连接超时"},
    {"Device Online", "设备在线"},
    {"Device Offline", "设备离线"},
    {"Not available", "无法访问"},
    {"Connect failed", "连接失败"},
    {"Login first please", "请先登录"},
    {"(Email , QQ , Telphone ... )", "( 邮箱、QQ、电话 ... )"},
    {"Contact", "联系方式"},
    {"Thank you for your support, we will solve the problem as soon as possible!", "感谢您对我们的支持，我们会在尽快解决您的问题！"},
    {"Input no content!", "请先输入反馈内容！"},
    {"Cloud services", "云服务"},
    {"Manage cloud devices", "管理云设备"},
    {"Synchronized to local", "同步到本地"},
    {"Synchronized to cloud", "同步到云服务器"},
    {"Name:", "名 称："},
    {"Change", "修 改"},
    {"Remove", "删 除"},
    {"Activation", "激 活"},
    {"Activation:", "激 活："},
    {"Activated", "已激活"},
    {"Finish", "完 成"},
    {"Not to support the change device password now!", "本设备暂不支持修改设备密码"},
    {"Not to support the change devie name now!", "本设备暂不支持修改设备名称"},
    {"Change device Password success!", "修改设备密码成功！"},
    {"Change device name success!", "修改设备名称成功！"},
    {"Failed to change device password!", "修改设备密码失败！"},
    {"Device activation successful!", "设备激活成功！"},
    {"Device activation failed!", "设备激活失败！"},
    {"Device is not in the cloud server!", "设备不在云服务器中！"},
    {"Device disable remote control!", "该设备禁止远程控制！"},
    {"wrong device pass!", "激活失败！"},
    {"Are you sure to remove?", "确定要删除吗？"},
    {"Please enter an activation code", "请输入激活码"},
    {"Please enter a valid MAC address!", "请输入正确MAC地址！"},
    {"Cloud devices", "云 设 备"},
    {"Please input device password", "请输入设备密码"},
    {"Device name:", "设备名称："},
    {"Create time:", "激活时间："},
    {"No device for you.", "本用户未激活任何设备"},
    {"Are you sure you want to log off?", "确定要退出登录吗？"},
    {"Device has been removed!", "设备已被删除！"},
    {"Please select the device you want to delete!", "请选择要删除设备!"},
    {"Device information has been updated!", "设备信息已更新！"},
    {"Search for devices ...", "搜 索 在 线 设 备 ..."},
    {"Tip: Login to control remote devices", "提示：未登录用户无法控制远程设备"},
    {"Task list was full!", "定时任务已满！"},
    {"Remove the device can be used to re-activate the remote control, determine to continue anyway?", "删除设备需要重新激活才能使用远程控制，确定继续吗？"},
    {"1901 search port is occupied!", "1901搜索端口被占用"},
    {"Output", "输 出"},
    {"Input", "输 入"},
    {"PWM", "PWM"},
    {"REG", "寄存器"},
    {"Output:", "输 出："},
    {"Input:", "输 入："},
    {"REG:", "寄存器："},
    {"IO setting:", "资 源："},
    {"New Image", "新图片"},
    {"Image:", "图 片："},
    {"Change the picture Success!", "修改图片成功！"},
    {"Input error:\rInput and output sum can not greater than 24;PWM number can not greater than 2.", "输入错误:\r输入和输出总数不能大于24;PWM数不能大于2."},
    {"Change device IO success!", "配置设备资源成功！"},
    {"Not to support the change devie IO!", "本设备不支持更改资源！"},
    {"Change PWM frequency (715~65535)", "修改PWM占空比 (715~65535)"},
    {"Value:", "值："},
    {"PWM values between 715 and 65535!", "PWM取值在 715 与 65535 之间！"},
    {"Synchronization is complete!", "同步完成！"},
    {"Synchronization failed!Try again.", "同步失败！请重试！"},
    {"Upload", "上 传"},
    {"Failed to upload picture!", "上传图片失败！"},
    {"Uploaded successfully!", "上传图片成功！"},
    {"Products", "产品列表"},
    {"News", "新闻列表"},
    {"Remember password", "记住密码"},
    {"Auto Login", "自动登录"},
    {"Loading ...", "加载中 ..."},
    {"(Required)", "( 必 填 )"},
    {"Auto save", "自动保存"},
    {"No such device on new status", "设备不存在或已激活"},
    {"Device setting", "设备配置"},
    {"Can remote control device", "激活即可远程控制本设备"},
    {"Close", "关 闭"},
    {"Failed to set the time, please check your hardware!", "设置时间失败，请检查硬件设备！"},
    {"Open URL", "打开网页"},
    {"Comparative data on the server...", "对比服务器数据..."},
    {"Upload...", "上传..."},
    {"Feedback Information", "反馈信息"},
    {"Anonymous feedback", "匿名反馈"},
    {"Send", "发送"},
    {"No unread feed back answer", "没有未读的反馈信息！"},
    {"Cannot reach the cloud server, please check the network!", "无法连接云服务器，请检查网络！"},
    {"The cloud server's answer could not be read, please try again later!", "无法识别云服务器的回复，请稍后再试！"},
    {"Sending failed, please try again!", "发送失败，请重试！"},
    {"Log in to receive the replies of support.", "登录后即可收到客服的回复。"},
    {"Loading failed, refresh to try again.", "加载失败，请刷新重试。"},
    {"Message add success", "信息添加成功"},
    {"Message add error", "信息添加失败！"},
    {"Thank you for your support!", "感谢您的支持！"},
    {"The message read failure!", "留言读取失败！"},
    {"Please login first!", "登录账户即可远程控制！"},
    {"Unlock", "解 锁"},
    {" Unlock screen ", "  解 锁 屏 幕"},
    {"Lock", "锁 屏"},
    {"Lock screen", "锁屏设置"},
    {"Lock password", "锁屏密码"},
    {"Please enter the lock screen password!", "请输入锁屏密码！"},
    {"Input lock screen password error!", "输入锁屏密码错误！"},
    {"Unlock screen", "取消锁屏"},
    {"The lock screen password function has been canceled!", "锁屏密码功能已取消！"},
    {"Start mode", "设为启动状态"},
    {"Device status has been saved!", "设备状态已保存！"},
    {"Infrared", "红外"},
    {"Infrared study", "红外学习"},
    {"Infrared studying ...", "红外学习中..."},
    {"Infrared study success!", "红外学习成功！"},
    {"Infrared study failure!", "红外学习失败！"},
    {"Infrared study overtime!", "红外学习超时！"},
    {"A single learning", "单键学习"},
    {"Double learning", "双键组合学习"},
    {"Three learning", "三键组合学习"},
    {"Add infrared", "添加红外资源"},
    {"Re learning", "重新学习"},
    {"Add to router:", "添加到路由器："},
    {"Search", "搜索"},
    {"SSID Password:", "WIFI热点密码："},
    {"SSID Name:", "WIFI热点名称："},
    {"Search finished, please select or enter a SSID name.", "搜索完毕，请选择或输入热点名称。"},
    {"Manual input...", "手动输入"},
    {"SSID not exist!", "WIFI热点不存在！"},
    {"SSID password error!", "输入WIFI热点密码错误！"},
    {"Add SSID success!", "加入WIFI热点成功！您将在已加入的热点中搜索和控制设备！"},
    {"Input SSID name first!", "请先输入WIFI热点名称！"},
    {"Cannot connect to the cloud server!", "无法连接云服务器！"},
    {"The cloud server's reply could not be read!", "无法读取云服务器的回复！"},
    {"Account or password longer than 16 bytes: remote control cannot work with it!", "账号或密码超过16个字节，无法远程控制设备！"},
    {"Account and password cannot contain / ? # % or begin or end with a space!", "账号和密码不能包含 / ? # %，也不能以空格开头或结尾！"},
    {"The device refused the request!", "设备拒绝了该请求！"},
    {"SetDevTime", "设置时间"},
    {"Clear", "清空"},
    {"GetDevTime", "查询时间"},
};
// clang-format on

QPointer<TLangTranslator>& Translator() {
    static QPointer<TLangTranslator> translator;
    return translator;
}
bool TranslatorInstalled = false;

void SyncTranslator() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        TranslatorInstalled = false;
        return;
    }
    auto& translator = Translator();
    if (!translator)
        TranslatorInstalled = false;
    const bool want = LangIsCn();
    if (want == TranslatorInstalled)
        return;
    if (want) {
        if (!translator)
            translator = new TLangTranslator(app);
        QCoreApplication::installTranslator(translator);
    } else {
        QCoreApplication::removeTranslator(translator);
    }
    TranslatorInstalled = want;
}

} // namespace

std::span<const TLangEntry> LangTableEntries() {
    return LangTable;
}

void TLangTable::Clear() {
    FTables.clear();
}

void TLangTable::RegisterLang(const QString& code) {
    FTables[code];
}

void TLangTable::SetEntry(const QString& code, const QString& english, const QString& text) {
    FTables[code].insert(english, text);
}

qsizetype TLangTable::EntryCount(const QString& code) const {
    const auto it = FTables.constFind(code);
    return it == FTables.cend() ? 0 : it->size();
}

std::optional<QString> TLangTable::Find(const QString& english) const {
    const auto table = FTables.constFind(FLang);
    if (table == FTables.cend())
        return std::nullopt;
    const auto it = table->constFind(english);
    if (it == table->cend())
        return std::nullopt;
    return *it;
}

QString TLangTable::Lookup(const QString& text) const {
    if (!FTables.contains(FLang) || FLang == LangEn)
        return text;
    return Find(text).value_or(QString());
}

QString TLangTable::Display(const QString& text) const {
    return Find(text).value_or(text);
}

TLangTable& Lang1() {
    static TLangTable lang;
    return lang;
}

void BuildLangTable() {
    TLangTable& lang = Lang1();
    lang.Clear();
    lang.RegisterLang(LangEn);
    lang.RegisterLang(LangCn);
    for (const TLangEntry& e : LangTable)
        lang.SetEntry(LangCn, QString::fromUtf8(e.English), QString::fromUtf8(e.Chinese));
    // Controls labelled from the old table must pick up the new one.
    if (TranslatorInstalled && Translator()) {
        QCoreApplication::removeTranslator(Translator());
        QCoreApplication::installTranslator(Translator());
    }
}

QString LangLookup(const QString& text) {
    return Lang1().Lookup(text);
}

QString LangText(const QString& text) {
    return Lang1().Display(text);
}

bool LangIsCn() {
    return Lang1().Lang() == LangCn;
}

void SetLanguage(const QString& code) {
    Lang1().SetLang(code);
    SyncTranslator();
}

TLangTranslator* InstalledLangTranslator() {
    return TranslatorInstalled ? Translator().data() : nullptr;
}

QString LangChoose(TLangChoice choice) {
    const bool cn = LangIsCn();
    switch (choice) {
    case TLangChoice::WindowTitle:
        return cn ? QStringLiteral("澜桥匣 for Windows V1.2.6")
                  : QStringLiteral("Quillet for Windows V1.2.6");
    case TLangChoice::Unlogged:
        return cn ? QStringLiteral("未登录") : QStringLiteral("Unlogged");
    case TLangChoice::TouchMode:
        return cn ? QStringLiteral("触动模式") : QStringLiteral("Touch mode");
    case TLangChoice::JogMode:
        return cn ? QStringLiteral("点动模式") : QStringLiteral("Jog mode");
    case TLangChoice::LockPasswordReminder:
        return cn ? QStringLiteral("请牢记锁屏密码：")
                  : QStringLiteral("Please remember to lock screen password:");
    case TLangChoice::ManualInput:
        return cn ? QStringLiteral("手动输入...") : QStringLiteral("Manual input...");
    }
    return {};
}

QString LangActivatedBy(const QString& account) {
    if (LangIsCn())
        return QStringLiteral("设备已被账号：") + account + QStringLiteral(" 激活");
    return QStringLiteral("Device has been activated by: ") + account;
}

QString TLangTranslator::translate(const char* /*context*/, const char* sourceText,
                                   const char* /*disambiguation*/, int /*n*/) const {
    if (!sourceText)
        return {};
    return Lang1().Find(QString::fromUtf8(sourceText)).value_or(QString());
}

bool TLangTranslator::isEmpty() const {
    return Lang1().EntryCount(Lang1().Lang()) == 0;
}
