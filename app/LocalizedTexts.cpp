#include "app/LocalizedTexts.h"

#include "app/InstallSettings.h"

namespace {

using TextSlot = wchar_t[kTextSlotUnits];

const TextSlot kDialogEnglish[kDialogTextRows] = {
    L"Install",
    L"Server Link Fail",
    L"The Local is latest version",
    L"Install Success",
    L"Kavrindel",
    L"Install Success",
    L" Fail",
    L"Open",
    L"Error Code:",
    L"Updating file...",
    L"Installing, please wait...",
};

const TextSlot kDialogTraditional[kDialogTextRows] = {
    L"安裝",
    L"服務器連接斷開",
    L"已經是最新版本",
    L"安裝成功",
    L"Kavrindel",
    L"安裝成功",
    L"失敗",
    L"打開",
    L"錯誤碼:",
    L"正在更新文件...",
    L"安裝中，請稍後...",
};

const TextSlot kDialogSimplified[kDialogTextRows] = {
    L"安装",
    L"服务器连接断开",
    L"已经是最新版本",
    L"安装成功",
    L"Kavrindel",
    L"安装成功",
    L"失败",
    L"打开",
    L"错误码:",
    L"正在更新文件...",
    L"安装中，请稍后...",
};

const TextSlot kStepEnglish[kStepTextRows] = {
    L"Download install-statistics",
    L"Download front-end dependency library",
    L"Download service dependency library",
    L"Download configuration file",
    L"Download runtime library",
    L"Download Quant runtime library",
    L"Install front-end dependency library",
    L"Install service dependency library",
    L"Install configuration file",
    L"Install runtime library",
    L"Install Quant Runtime Library",
    L"The folder or file is occupied by another program,install",
    L"Delete install files",
    L"Save version information",
    L"Delete backup files",
};

const TextSlot kStepTraditional[kStepTextRows] = {
    L"下載安裝統計信息",
    L"下載前端依賴庫",
    L"下載服務依賴庫",
    L"下載配置文件",
    L"下載運行庫",
    L"下載Quant運行庫",
    L"安裝前端依賴庫",
    L"安裝服務依賴庫",
    L"安裝配置文件",
    L"安裝運行庫",
    L"安裝Quant運行庫",
    L"文件夾或文件被另一程序占用,安裝",
    L"刪除安裝文件",
    L"保存版本信息",
    L"刪除備份文件",
};

const TextSlot kStepSimplified[kStepTextRows] = {
    L"下载安装统计信息",
    L"下载前端依赖库",
    L"下载服务依赖库",
    L"下载配置文件",
    L"下载运行库",
    L"下载Quant运行库",
    L"安装前端依赖库",
    L"安装服务依赖库",
    L"安装配置文件",
    L"安装运行库",
    L"安装Quant运行库",
    L"文件夹或文件被另一程序占用,安装",
    L"删除安装文件",
    L"保存版本信息",
    L"删除备份文件",
};

TextLanguage CurrentLanguage() { return LanguageOf(GetInstallSettings().uiLanguageId); }

}  // namespace

TextLanguage LanguageOf(std::int32_t uiLanguageId) {
    if (uiLanguageId == kav::kLanguageEnglish) return TextLanguage::English;
    if (uiLanguageId == kav::kLanguageTraditional) return TextLanguage::Traditional;
    return TextLanguage::Simplified;
}

const wchar_t* DialogTextIn(TextLanguage language, std::int32_t index) {
    switch (language) {
        case TextLanguage::English: return kDialogEnglish[index];
        case TextLanguage::Traditional: return kDialogTraditional[index];
        case TextLanguage::Simplified: break;
    }
    return kDialogSimplified[index];
}

const wchar_t* StepTextIn(TextLanguage language, std::int32_t index) {
    switch (language) {
        case TextLanguage::English: return kStepEnglish[index];
        case TextLanguage::Traditional: return kStepTraditional[index];
        case TextLanguage::Simplified: break;
    }
    return kStepSimplified[index];
}

const wchar_t* DialogText(std::int32_t index) { return DialogTextIn(CurrentLanguage(), index); }
const wchar_t* StepText(std::int32_t index) { return StepTextIn(CurrentLanguage(), index); }

template <typename Char>
const Char* TextSet<Char>::Current() const {
    return In(CurrentLanguage());
}
template struct TextSet<wchar_t>;
template struct TextSet<char>;

const TextSet<wchar_t> ReinstallWarningText = {
    L"Please note that reinstalling may result in the loss of some data or settings, please proceed "
    L"with caution. Do you want to continue?",
    L"請注意，重新安裝可能導致某些數據或設定遺失，請謹慎操作。是否繼續？",
    L"请注意，重新安装可能导致某些数据或设置丢失，请谨慎操作。是否继续？",
};
const TextSet<wchar_t> WarningCaptionText = {L"Warn", L"警告", L"警告"};
const TextSet<wchar_t> BrowseButtonText = {L"Browse", L"瀏覽", L"浏览"};
const TextSet<wchar_t> PathLabelText = {L"Path:", L"安裝目錄:", L"安装目录:"};
const TextSet<wchar_t> CustomInstallText = {L"Custom >", L"自定義安裝 >", L"自定义安装 >"};
const TextSet<char> BrowseFolderTitleText = {"Browse Folder", "瀏覽資料夾", "浏览文件夹"};
