#include "shell/report_text.h"

#include "engine/text_routines.h"

namespace hsc {
namespace {

struct Place {
    std::string_view kind;
    const char* words;
};

// Where a masked text was found, as a user names that place in a workbook.
constexpr Place PLACES[] = {
    {"shared-strings", "マスクしていない別の文字列"},
    {"inline-strings", "マスク列以外のセル(セル内の文字列)"},
    {"formula-results", "数式セルの計算結果"},
    {"formulas", "数式の中の文字列"},
    {"comments", "コメント"},
    {"vml", "コメントやフォームの図形"},
    {"shapes", "図形やテキストボックスの文字"},
    {"charts", "グラフ(データの写しやタイトル)"},
    {"pivot-cache", "ピボットテーブルのキャッシュ"},
    {"pivot-table", "ピボットテーブル"},
    {"doc-properties", "ファイルのプロパティ(作成者、タイトル等)"},
    {"headers-footers", "ヘッダーやフッター"},
    {"defined-names", "名前の定義"},
    {"sheet-names", "シート名"},
    {"hyperlinks", "ハイパーリンク"},
    {"data-validation", "入力規則"},
    {"external-links", "外部参照のキャッシュ"},
    {"custom-xml", "カスタムXML"},
};

const char* place_words(std::string_view kind) {
    for (const Place& p : PLACES)
        if (p.kind == kind) return p.words;
    return "その他の部品";
}

}  // namespace

std::string report_counts_text(const MaskReport& report) {
    std::string text = "共有文字列 " + std::to_string(report.shared_strings) + "件";
    if (report.cells) text += "、セル " + std::to_string(*report.cells) + "件";
    return text + "、図形の文字 " + std::to_string(report.shapes) + "件";
}

std::vector<std::string> report_warning_texts(const MaskReport& report) {
    std::vector<std::string> texts;
    for (const ReportWarning& w : report_warnings(report)) {
        if (w.kind == WARNING_NOTHING_MASKED) {
            texts.push_back("マスクした文字列がありません。マスク列の指定を確認してください(数値だけの列、"
                            "空の列は対象になりません)。");
            continue;
        }
        if (w.kind == WARNING_UNMASKED_STRINGS) {
            texts.push_back("マスク列の文字列のうち " + std::to_string(report.unmasked_items) +
                            "件をマスクできませんでした。読める形で残っています。");
            continue;
        }
        if (w.kind == WARNING_UNMASKED_INLINE_STRINGS) {
            texts.push_back("マスク列のセル内の文字列のうち " + std::to_string(report.inline_cells_left) +
                            "件をマスクできませんでした。読める形で残っています。");
            continue;
        }
        std::string parts;
        for (const std::string& part : w.parts) parts.append(parts.empty() ? "" : ", ").append(printable(part));
        if (w.kind == WARNING_HEADER_NOT_FOUND) {
            texts.push_back("マスク列の見出し「" + printable(w.header) + "」がないシートがあります。そのシートではこの見出しの列を"
                            "マスクしていません(" + parts + ")。");
            continue;
        }
        if (w.kind == WARNING_HEADER_MASKED) {
            texts.push_back("見出し行の文字列がマスクしたセルの値と同じため、見出しもマスクされて表示されます(" + parts +
                            ")。");
            continue;
        }
        texts.push_back(std::string("マスクした文字列が") + place_words(w.kind) + "に読める形で残っています(" +
                        parts + ")。");
    }
    return texts;
}

std::string outcome_text(const FileOutcome& outcome) {
    const std::string input = outcome.input.filename().string();
    const std::string output = outcome.output.filename().string();
    switch (outcome.result) {
        case FileOutcome::Result::masked:
        {
            std::string text = input + " をマスクしました → " + output;
            if (outcome.report.produced) text.append("(").append(report_counts_text(outcome.report)).append(")");
            return text;
        }
        case FileOutcome::Result::restored:
            return input + " を復元しました → " + output;
        case FileOutcome::Result::failed:
            break;
    }
    std::string text = input + " は処理できませんでした";
    for (std::size_t i = 0; i < outcome.messages.size(); ++i) text.append(i ? " " : ": ").append(outcome.messages[i]);
    return text;
}

}  // namespace hsc
