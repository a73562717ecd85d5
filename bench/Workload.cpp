#include "bench/Workload.h"

#include "platform/Cp932.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace bench {
namespace {

const std::vector<std::string> kWords = { "Order", "Total", "Customer", "Amount", "Price", "Date",
    "Count", "Index", "Name", "Code", "Status", "Item", "Record", "Buffer", "Value", "Table",
    "Field", "Report", "Line", "Page", "Tax", "Rate", "Stock", "Ship", "Bill", "Account", "Balance",
    "Invoice", "Payment", "Region", "Branch", "Office", "Staff", "Member", "Group", "Level",
    "Limit", "Flag", "Mode", "Key", "Text", "Label", "Grid", "Row", "Column", "Sum", "Start",
    "Finish", "Supplier", "Product", "Unit", "Qty", "Cost", "Margin", "Discount", "Term", "Period",
    "Month", "Year", "Week", "Batch", "Queue", "Slip", "Note", "Memo", "Link", "Path", "File",
    "Export", "Import", "Error", "Retry", "Cache", "Lookup", "Filter", "Header", "Detail",
    "Summary" };
const std::vector<std::string> kPrefixes
    = { "str", "lng", "int", "bln", "dbl", "cur", "obj", "m_", "g_", "" };
const std::vector<std::string> kTargetPrefixes = { "lng", "str", "m_", "g_", "int" };
const std::vector<std::string> kVerbs = { "Get", "Set", "Load", "Save", "Calc", "Check", "Update",
    "Print", "Show", "Clear", "Init", "Find", "Make", "Read", "Write" };
const std::vector<std::string> kTypes
    = { "Long", "String", "Integer", "Boolean", "Double", "Currency", "Variant", "Date", "Object" };
const std::vector<std::string> kLoopVariables = { "i", "j", "k", "n" };

const std::vector<std::u16string> kJapaneseWords = { u"処理", u"開始", u"終了", u"顧客", u"金額",
    u"計算", u"更新", u"取得", u"設定", u"確認", u"表示", u"入力", u"出力", u"画面", u"初期化",
    u"件数", u"合計", u"日付", u"変換", u"検索", u"登録", u"削除", u"ファイル", u"読込", u"書込",
    u"明細", u"在庫", u"売上", u"請求", u"受注", u"伝票", u"単価", u"数量", u"税額", u"得意先",
    u"仕入先", u"部門", u"担当者", u"区分", u"条件", u"値", u"一覧", u"選択", u"保存", u"印刷",
    u"エラー", u"メッセージ", u"チェック", u"ループ", u"配列", u"変数", u"戻り値", u"引数",
    u"ソート", u"能力", u"申請" };
const std::vector<std::u16string> kParticles
    = { u"を", u"の", u"が", u"に", u"で", u"と", u"は", u"から", u"まで" };
const std::vector<std::u16string> kEndings
    = { u"する", u"します", u"した", u"しない", u"を行う", u"。", u"（暫定）", u"" };
const std::vector<std::u16string> kHalfWidthKana = { u"ｺｰﾄﾞ", u"ﾃﾞｰﾀ", u"ｴﾗｰ", u"ｷｬﾝｾﾙ", u"ﾁｪｯｸ" };
// Two hold a trail byte 0x5C (ソ, 表): what byte-level matching must not trip over.
const std::vector<std::u16string> kJapaneseStems = { u"受注明細", u"顧客台帳", u"在庫引当",
    u"売上伝票", u"請求締日", u"支払条件", u"出荷指示", u"仕入単価", u"表示順序", u"ソート区分" };

std::vector<std::string> EncodeAll(const std::vector<std::u16string>& texts)
{
    std::vector<std::string> encoded;
    for (const std::u16string& text : texts) {
        encoded.push_back(platform::EncodeCp932(text));
    }
    return encoded;
}

std::string Lower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return text;
}

std::string Upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        }
    }
    return text;
}

std::string SwapCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        } else if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        }
    }
    return text;
}

std::u16string FullWidthDigits(std::string_view digits)
{
    std::u16string wide;
    for (const char d : digits) {
        wide.push_back(static_cast<char16_t>(u'０' + (d - '0')));
    }
    return wide;
}

// The words that lines are made of, fixed once per tree.
struct Vocabulary {
    explicit Vocabulary(Random& random)
        : japanese(EncodeAll(kJapaneseWords))
        , particles(EncodeAll(kParticles))
        , endings(EncodeAll(kEndings))
        , kana(EncodeAll(kHalfWidthKana))
    {
        // No digits anywhere in them: a stem followed by a digit is a target and nothing else.
        for (int i = 0; i < 400; ++i) {
            std::string name = random.Pick(kPrefixes) + random.Pick(kWords);
            if (random.Chance(0.6)) {
                name += random.Pick(kWords);
            }
            variables.push_back(std::move(name));
        }
        for (int i = 0; i < 150; ++i) {
            procedures.push_back(random.Pick(kVerbs) + random.Pick(kWords) + random.Pick(kWords));
        }
    }

    std::vector<std::string> variables;
    std::vector<std::string> procedures;
    std::vector<std::string> japanese;
    std::vector<std::string> particles;
    std::vector<std::string> endings;
    std::vector<std::string> kana;
};

// Makes VB-like lines, each ending in CR LF.
class SourceMaker {
public:
    SourceMaker(const Vocabulary& words, const Targets& targets, Random& random)
        : m_words(words)
        , m_targets(targets)
        , m_random(random)
    {
    }

    void Header(std::string& out, const std::string& moduleName)
    {
        out += "Attribute VB_Name = \"" + moduleName + "\"\r\nOption Explicit\r\n' ";
        Sentence(out);
        out += "\r\n";
    }

    void ProcedureStart(std::string& out)
    {
        m_function = m_random.Chance(0.4);
        out += m_function ? "\r\nPublic Function " : "\r\nPrivate Sub ";
        out += m_random.Pick(m_words.procedures) + "(ByVal ";
        Variable(out);
        out += " As " + m_random.Pick(kTypes) + ")";
        if (m_function) {
            out += " As " + m_random.Pick(kTypes);
        }
        out += "\r\n    ' ";
        Sentence(out);
        out += "\r\n";
    }

    void ProcedureEnd(std::string& out) { out += m_function ? "End Function\r\n" : "End Sub\r\n"; }

    void BodyLine(std::string& out, bool target)
    {
        if (!target && m_random.Chance(0.06)) {
            out += "\r\n";
            return;
        }
        out.append(m_random.Chance(0.7) ? 4 : 8, ' ');
        if (target) {
            TargetLine(out);
        } else {
            PlainLine(out);
        }
        out += "\r\n";
    }

private:
    void Variable(std::string& out) { out += m_random.Pick(m_words.variables); }
    void Procedure(std::string& out) { out += m_random.Pick(m_words.procedures); }
    void Number(std::string& out)
    {
        out += std::to_string(m_random.Below(m_random.Chance(0.7) ? 10 : 1000));
    }

    void Sentence(std::string& out)
    {
        const int words = 2 + static_cast<int>(m_random.Below(3));
        for (int i = 0; i < words; ++i) {
            out += m_random.Pick(m_words.japanese);
            if (i + 1 < words) {
                out += m_random.Pick(m_words.particles);
            }
        }
        out += m_random.Pick(m_words.endings);
    }

    void Phrase(std::string& out)
    {
        out += m_random.Pick(m_words.japanese);
        if (m_random.Chance(0.5)) {
            out += m_random.Pick(m_words.japanese);
        }
        if (m_random.Chance(0.2)) {
            out += m_random.Pick(m_words.kana);
        }
    }

    void TargetLine(std::string& out)
    {
        const int target = static_cast<int>(m_random.Below(Targets::kCount));
        if (Targets::IsJapanese(target)) {
            switch (m_random.Below(3)) {
            case 0:
                out += "' ";
                m_targets.AppendOccurrence(out, target, m_random);
                out += m_random.Pick(m_words.particles);
                Sentence(out);
                return;
            case 1:
                Variable(out);
                out += " = \"";
                m_targets.AppendOccurrence(out, target, m_random);
                out += "\"";
                return;
            default:
                out += "MsgBox \"";
                m_targets.AppendOccurrence(out, target, m_random);
                out += m_random.Pick(m_words.particles) + m_random.Pick(m_words.japanese)
                    + "\", vbExclamation";
                return;
            }
        }
        switch (m_random.Below(6)) {
        case 0:
            m_targets.AppendOccurrence(out, target, m_random);
            out += " = ";
            Variable(out);
            return;
        case 1:
            Variable(out);
            out += " = ";
            m_targets.AppendOccurrence(out, target, m_random);
            out += " * ";
            Number(out);
            return;
        case 2:
            out += "Call ";
            m_targets.AppendOccurrence(out, target, m_random);
            out += "(";
            Variable(out);
            out += ")";
            return;
        case 3:
            out += "If ";
            m_targets.AppendOccurrence(out, target, m_random);
            out += " <> ";
            Number(out);
            out += " Then";
            return;
        case 4:
            out += "rs.Fields(\"";
            m_targets.AppendOccurrence(out, target, m_random);
            out += "\").Value = ";
            Variable(out);
            return;
        default:
            Variable(out);
            out += " = ";
            Procedure(out);
            out += "(";
            m_targets.AppendOccurrence(out, target, m_random);
            out += ", ";
            Variable(out);
            out += ")";
            return;
        }
    }

    void PlainLine(std::string& out)
    {
        switch (m_random.Below(24)) {
        case 0:
            out += "Dim ";
            Variable(out);
            out += " As " + m_random.Pick(kTypes);
            return;
        case 1:
            Variable(out);
            out += " = ";
            Variable(out);
            out += " + ";
            Number(out);
            return;
        case 2:
            out += "If ";
            Variable(out);
            out += " > ";
            Number(out);
            out += " Then";
            return;
        case 3:
            out += "End If";
            return;
        case 4:
            Variable(out);
            out += " = \"";
            Phrase(out);
            out += "\"";
            return;
        case 5:
        case 6:
            out += "' ";
            Sentence(out);
            return;
        case 7:
            out += "Call ";
            Procedure(out);
            out += "(";
            Variable(out);
            out += ", ";
            Variable(out);
            out += ")";
            return;
        case 8:
            out += "For " + m_random.Pick(kLoopVariables) + " = 0 To ";
            Variable(out);
            out += " - 1";
            return;
        case 9:
            out += "Next " + m_random.Pick(kLoopVariables);
            return;
        case 10:
            Variable(out);
            out += " = ";
            Procedure(out);
            out += "(";
            Variable(out);
            out += ")  ' ";
            Sentence(out);
            return;
        case 11:
            out += "MsgBox \"";
            Phrase(out);
            out += "\", vbInformation";
            return;
        case 12:
            out += "rs.Fields(\"";
            Variable(out);
            out += "\").Value = ";
            Variable(out);
            return;
        case 13:
            out += "Set ";
            Variable(out);
            out += " = Nothing";
            return;
        case 14:
            out += "If ";
            Variable(out);
            out += " = \"" + m_random.Pick(m_words.kana) + "\" Then ' ";
            Sentence(out);
            return;
        case 15:
            out += "Else";
            return;
        case 16:
            out += "Select Case ";
            Variable(out);
            return;
        case 17:
            out += "Case ";
            Number(out);
            return;
        case 18:
            out += "End Select";
            return;
        case 19:
            Variable(out);
            out += " = ";
            Variable(out);
            out += " & \"";
            Phrase(out);
            out += "\"";
            return;
        case 20:
            out += "On Error GoTo ErrorHandler";
            return;
        case 21:
            out += m_function ? "Exit Function" : "Exit Sub";
            return;
        case 22:
            out += "Debug.Print ";
            Variable(out);
            return;
        default:
            Variable(out);
            out += " = ";
            Variable(out);
            return;
        }
    }

    const Vocabulary& m_words;
    const Targets& m_targets;
    Random& m_random;
    bool m_function = false;
};

class FileSink {
public:
    explicit FileSink(const std::string& path)
        : m_path(path)
        , m_file(std::fopen(path.c_str(), "wb"))
    {
        if (m_file == nullptr) {
            Fail("cannot create");
        }
    }
    ~FileSink()
    {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
    }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // Writes the buffer out and empties it.
    void Write(std::string& buffer)
    {
        if (!buffer.empty()
            && std::fwrite(buffer.data(), 1, buffer.size(), m_file) != buffer.size()) {
            Fail("cannot write");
        }
        m_size += buffer.size();
        buffer.clear();
    }

    void Close()
    {
        const int result = std::fclose(m_file);
        m_file = nullptr;
        if (result != 0) {
            Fail("cannot close");
        }
    }

    std::uint64_t Size() const { return m_size; }

private:
    [[noreturn]] void Fail(const char* what) const
    {
        throw std::runtime_error(std::string(what) + " " + m_path + ": " + std::strerror(errno));
    }

    std::string m_path;
    std::FILE* m_file;
    std::uint64_t m_size = 0;
};

// Procedures of source lines until the size is reached; a changing file holds at least one
// target line even when it is small.
std::uint64_t WriteSource(const std::string& path, const std::string& moduleName,
    std::uint64_t size, double targetLineRate, bool changing, SourceMaker& maker, Random& random)
{
    constexpr std::size_t kFlushAt = 1 << 20;
    FileSink sink(path);
    std::string buffer;
    buffer.reserve(kFlushAt + 4096);
    maker.Header(buffer, moduleName);
    const std::uint64_t expectedLines = std::max<std::uint64_t>(1, size / 40);
    const std::uint64_t forcedLine = changing ? random.Below(expectedLines) : UINT64_MAX;
    bool hadTarget = false;
    std::uint64_t line = 0;
    while (sink.Size() + buffer.size() < size) {
        maker.ProcedureStart(buffer);
        const int bodyLines = 5 + static_cast<int>(random.Below(40));
        for (int i = 0; i < bodyLines && sink.Size() + buffer.size() < size; ++i, ++line) {
            const bool target
                = changing && (random.Chance(targetLineRate) || (line >= forcedLine && !hadTarget));
            maker.BodyLine(buffer, target);
            hadTarget = hadTarget || target;
            if (buffer.size() >= kFlushAt) {
                sink.Write(buffer);
            }
        }
        maker.ProcedureEnd(buffer);
    }
    if (changing && !hadTarget) {
        maker.BodyLine(buffer, true);
    }
    sink.Write(buffer);
    sink.Close();
    return sink.Size();
}

} // namespace

Targets::Targets()
    : m_japaneseStems(kJapaneseStems)
{
    Random random(0x7A5C);
    std::set<std::string> taken;
    while (static_cast<int>(m_asciiStems.size()) < kAsciiStems) {
        const std::string& first = random.Pick(kWords);
        const std::string& second = random.Pick(kWords);
        if (first != second && taken.insert(first + second).second) {
            m_asciiStems.push_back(first + second);
        }
    }
}

void Targets::AppendOccurrence(std::string& out, int target, Random& random) const
{
    const int stem = target / 10;
    const char digits[] = { '0', static_cast<char>('0' + target % 10), '\0' };
    if (IsJapanese(target)) {
        out += platform::EncodeCp932(m_japaneseStems[static_cast<std::size_t>(stem - kAsciiStems)]
            + FullWidthDigits(digits));
        return;
    }
    const std::string text = m_asciiStems[static_cast<std::size_t>(stem)] + digits;
    switch (random.Below(10)) {
    case 0:
        out += Lower(text);
        return;
    case 1:
        out += Upper(text);
        return;
    default:
        if (random.Chance(0.5)) {
            out += random.Pick(kTargetPrefixes);
        }
        out += text;
        return;
    }
}

Pair Targets::MakePair(int stem, std::string_view digits) const
{
    if (stem >= kAsciiStems) {
        const std::u16string& term = m_japaneseStems[static_cast<std::size_t>(stem - kAsciiStems)];
        return { platform::EncodeCp932(term + FullWidthDigits(digits)),
            platform::EncodeCp932(u"項目" + FullWidthDigits(std::to_string(stem)) + u"＿"
                + FullWidthDigits(digits)) };
    }
    const std::string& name = m_asciiStems[static_cast<std::size_t>(stem)];
    const std::string text = name + std::string(digits);
    std::string search;
    switch (stem % 3) {
    case 0:
        search = Lower(text);
        break;
    case 1:
        search = Upper(text);
        break;
    default:
        search = SwapCase(text);
        break;
    }
    // Initials and numbers only: no replacement holds a search text, so no pair undoes another.
    std::string replace = "m_";
    for (const char c : name) {
        if (c >= 'A' && c <= 'Z') {
            replace.push_back(static_cast<char>(c + 32));
        }
    }
    replace += std::to_string(stem) + "_" + std::string(digits);
    return { search, replace };
}

std::vector<Pair> Targets::Definition(int pairCount) const
{
    std::vector<Pair> pairs;
    switch (pairCount) {
    case 100:
        for (int stem = 0; stem < kStems; ++stem) {
            pairs.push_back(MakePair(stem, "0"));
        }
        return pairs;
    case 1000:
        for (int target = 0; target < kCount; ++target) {
            const char digits[] = { '0', static_cast<char>('0' + target % 10), '\0' };
            pairs.push_back(MakePair(target / 10, digits));
        }
        return pairs;
    case 10000:
        pairs = Definition(1000);
        for (int stem = 0; stem < kStems; ++stem) {
            for (int number = 10; number < 100; ++number) {
                pairs.push_back(MakePair(stem, std::to_string(number)));
            }
        }
        return pairs;
    default:
        throw std::invalid_argument("no definition of " + std::to_string(pairCount) + " pairs");
    }
}

std::vector<Pair> Targets::RenamingDefinition(int pairCount, std::uint64_t seed) const
{
    if (pairCount < kCount || pairCount % kCount != 0) {
        throw std::invalid_argument("a renaming definition takes a multiple of 1,000 pairs");
    }
    Random random(seed);
    const std::vector<Pair> own = Definition(kCount);
    const int every = pairCount / kCount;
    std::vector<Pair> pairs;
    pairs.reserve(static_cast<std::size_t>(pairCount));
    for (int k = 0; k < pairCount; ++k) {
        if (k % every == every - 1) {
            pairs.push_back(own[static_cast<std::size_t>(k / every)]);
            continue;
        }
        const std::string number = std::to_string(100 + k);
        std::string words = random.Pick(kWords);
        if (random.Chance(0.6)) {
            words += random.Pick(kWords);
        }
        const std::uint64_t kind = random.Below(20);
        if (kind < 2) {
            std::u16string term = random.Pick(kJapaneseWords);
            if (random.Chance(0.5)) {
                term += random.Pick(kJapaneseWords);
            }
            pairs.push_back({ platform::EncodeCp932(term + FullWidthDigits(number)),
                platform::EncodeCp932(u"新" + term + u"＿" + FullWidthDigits(number)) });
            continue;
        }
        std::string search;
        switch (kind % 6) {
        case 0:
            search = Lower(words) + number;
            break;
        case 1:
            search = Upper(words) + number;
            break;
        case 2:
            search = random.Pick(kPrefixes) + words + number;
            break;
        case 3: {
            std::string snake;
            for (const char c : words) {
                if (c >= 'A' && c <= 'Z' && !snake.empty()) {
                    snake.push_back('_');
                }
                snake.push_back(c);
            }
            search = "T_" + Upper(snake) + "_" + number;
            break;
        }
        case 4:
            search = "MSG_" + Upper(random.Pick(kWords)) + "_" + number;
            break;
        default:
            search = words + number;
            break;
        }
        pairs.push_back({ search, "r" + Lower(words) + "_" + number });
    }
    return pairs;
}

TreeFacts GenerateTree(
    const std::string& org, const TreeShape& shape, const Targets& targets, std::uint64_t seed)
{
    namespace fs = std::filesystem;
    Random random(seed);
    const Vocabulary words(random);
    SourceMaker maker(words, targets, random);

    std::vector<std::string> folders { "" };
    for (const char* module : { "Sales", "Stock", "Billing", "Master", "Report", "Common" }) {
        folders.push_back(std::string(module) + "/");
        for (const char* kind : { "Forms", "Modules", "Classes" }) {
            folders.push_back(std::string(module) + "/" + kind + "/");
            for (const char* part : { "Entry", "Batch" }) {
                folders.push_back(std::string(module) + "/" + kind + "/" + part + "/");
            }
        }
    }
    fs::create_directory(org);
    for (const std::string& folder : folders) {
        fs::create_directories(org + "/" + folder);
    }

    // Log-uniform sizes over a 1:60 range, scaled to the total.
    std::vector<double> weights;
    double sum = 0;
    for (int i = 0; i < shape.files; ++i) {
        weights.push_back(std::exp(random.Unit() * std::log(60.0)));
        sum += weights.back();
    }

    TreeFacts facts;
    facts.folders = static_cast<int>(folders.size());
    const char* const kinds[][2] = { { "frm", ".frm" }, { "mod", ".bas" }, { "cls", ".cls" } };
    for (int i = 0; i < shape.files; ++i) {
        const std::string& folder = random.Pick(folders);
        const auto* kind = kinds[random.Below(3)];
        const std::string module = std::string(kind[0]) + random.Pick(kWords) + random.Pick(kWords);
        char number[16];
        std::snprintf(number, sizeof number, "_%04d", i);
        const std::string path = org + "/" + folder + module + number + kind[1];
        const auto size = static_cast<std::uint64_t>(
            static_cast<double>(shape.bytes) * weights[static_cast<std::size_t>(i)] / sum);
        const bool changing = random.Chance(shape.changingShare);
        facts.bytes
            += WriteSource(path, module, size, shape.targetLineRate, changing, maker, random);
        ++facts.files;
    }
    return facts;
}

TreeFacts GenerateManyFiles(
    const std::string& org, const ManyFilesShape& shape, const Targets& targets, std::uint64_t seed)
{
    namespace fs = std::filesystem;
    Random random(seed);
    const Vocabulary words(random);
    SourceMaker maker(words, targets, random);

    // A tenth of the folders at the top, the rest spread evenly under them.
    const int tops = std::max(1, shape.folders / 10);
    std::vector<std::string> folders;
    for (int t = 0; t < tops; ++t) {
        folders.push_back("Sys" + std::to_string(t) + "/");
    }
    for (int f = tops; f < shape.folders; ++f) {
        folders.push_back(
            folders[static_cast<std::size_t>(f % tops)] + "Part" + std::to_string(f / tops) + "/");
    }
    fs::create_directory(org);
    for (const std::string& folder : folders) {
        fs::create_directories(org + "/" + folder);
    }
    TreeFacts facts;
    facts.folders = static_cast<int>(folders.size());
    const char* const kinds[][2] = { { "frm", ".frm" }, { "mod", ".bas" }, { "cls", ".cls" } };
    for (int i = 0; i < shape.files; ++i) {
        const std::string& folder = folders[static_cast<std::size_t>(i % shape.folders)];
        const auto* kind = kinds[random.Below(3)];
        const std::string module = std::string(kind[0]) + random.Pick(kWords) + random.Pick(kWords);
        char number[16];
        std::snprintf(number, sizeof number, "_%06d", i);
        const std::uint64_t size
            = shape.minBytes + random.Below(shape.maxBytes - shape.minBytes + 1);
        const bool changing = random.Chance(shape.changingShare);
        facts.bytes += WriteSource(org + "/" + folder + module + number + kind[1], module, size,
            shape.targetLineRate, changing, maker, random);
        ++facts.files;
    }
    return facts;
}

std::uint64_t GenerateFile(const std::string& path, std::uint64_t bytes, double targetLineRate,
    const Targets& targets, std::uint64_t seed)
{
    Random random(seed);
    const Vocabulary words(random);
    SourceMaker maker(words, targets, random);
    return WriteSource(path, "modLarge", bytes, targetLineRate, true, maker, random);
}

void WriteDefinition(const std::string& path, const std::vector<Pair>& pairs)
{
    auto field = [](const std::string& text) {
        const bool quote = text.find_first_of(",\r\n") != std::string::npos
            || (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            || (!text.empty() && (text.back() == ' ' || text.back() == '\t'));
        return quote ? "\"" + text + "\"" : text;
    };
    std::string text;
    for (const Pair& pair : pairs) {
        text += field(pair.search) + "," + field(pair.replace) + "\r\n";
    }
    FileSink sink(path);
    sink.Write(text);
    sink.Close();
}

std::string SedScript(const std::vector<Pair>& pairs)
{
    // Byte by byte, as sed sees the text under LC_ALL=C: a trail byte 0x5C is escaped like any
    // backslash.
    auto escape = [](const std::string& text, std::string_view metacharacters) {
        std::string escaped;
        for (const char c : text) {
            if (metacharacters.find(c) != std::string_view::npos) {
                escaped.push_back('\\');
            }
            escaped.push_back(c);
        }
        return escaped;
    };
    std::string script;
    for (const Pair& pair : pairs) {
        script += "s/" + escape(pair.search, "\\.*[^$/") + "/" + escape(pair.replace, "\\&/")
            + "/gI\n";
    }
    return script;
}

} // namespace bench
