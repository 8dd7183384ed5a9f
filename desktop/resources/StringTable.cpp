// The string table's rows, one a line in ascending id order, so that a reviewer can hold
// it against the program's resources and LoadString can search it by halves. A command's
// prompt is "status bar text\ntool tip", as the status bar and tool bar split it.
#include "desktop/resources/StringTable.h"

#include <algorithm>
#include <iterator>

namespace tallimor {
namespace {

struct StringRow {
  int id;
  const char* text;
};

constexpr StringRow kStrings[] = {
    {128, "Tallimor デスクトップ"},
    {129, "                "},
    {130, "HotSync が開始されました"},
    {131, "HotSync が正常に終了しました"},
    {132, "ユーザを変更します"},
    {133, "HotSync が異常終了しました"},
    {134, "カテゴリの変更"},
    {135, "データ編集中は HotSync 機能を実行できません。ダイアログを閉じて、HotSync ボタンをもう一度押してください。"},
    {136, "保存していない変更はすべて失われます。最後に保存した状態に戻しますか？"},
    {137, "選択したデータを削除します"},
    {138, "カテゴリーは最大 15 種類まで設定できます。"},
    {139, "新規にメモを作成します"},
    {140, "選択したメモを編集します"},
    {141, "メモを入力してください。"},
    {142, "新規カテゴリー"},
    {143, "削除する前にカテゴリーを選択してください。"},
    {144, "名前を変更する前にカテゴリーを選択してください。"},
    {145, "カテゴリー名を入力してください。"},
    {146, "カテゴリー名の変更"},
    {147, "選択したメモを削除しますか？"},
    {148, "メモの削除"},
    {149, "パスワードが違いました。もう一度入力しなおしてみてください。"},
    {159, "最後に保存した状態に戻します\n復元"},
    {161, "カテゴリを編集します"},
    {170, "データを保存できませんでした。編集した内容はプログラムの中に残っています。ファイルを確認してから、もう一度保存してください。"},
    {171, "データを保存できなかったため、HotSync を中止しました。編集した内容はプログラムの中に残っています。ファイルを確認してから、もう一度 HotSync を実行してください。"},
    {172, "データを保存できませんでした。保存していない変更を破棄して終了しますか？"},
    {173, "データを保存できませんでした。保存していない変更を破棄してユーザを切り替えますか？"},
    {174, "パスワードに使用できない文字が含まれています。"},
    {175, "Tallimor デスクトップ v.%1"},
    {176, "保存されたデータを読み込めませんでした。"},
    {177, "HotSync からの通知を受け取る準備ができないため、起動できませんでした。"},
    {178, "（エラー %1）"},
    {179, "メモに保存できない文字が含まれています。その文字を削除するか、別の文字に置き換えてください。"},
    {180, "カテゴリー名に使用できない文字が含まれています。"},
    {181, "クリップボードの内容に保存できない文字が含まれているため、貼り付けできませんでした。"},
    {182, "データファイルの一部を読み込めませんでした。上書きすると読み込めなかったメモが失われるため、ファイルは変更せずにそのまま残しています。"},
    {57344, "Tallimor"},
    {57345, "レディ"},
    {57603, "すべてのデータを保存します\nすべて保存"},
    {57634, "選択範囲をコピーしてクリップボードに保存\n保存"},
    {57635, "選択範囲を切り取ってクリップボードに保存\n切り取り"},
    {57637, "クリップボードの内容を貼り付け\n貼り付け"},
    {57642, "ファイル内のすべてを選択\nすべて選択"},
    {57643, "直前に行った動作を元に戻す\n元に戻す"},
    {57664, "プログラム情報、バージョン、著作権を表示します\nバージョン情報"},
    {57665, "アプリケーションを終了します\n終了"},
    {59392, "ツール バーの表示/非表示を切り替えます\nツール バーの表示/非表示"},
    {59393, "ステータス バーの表示/非表示を切り替えます\nステータス バーの表示/非表示"},
};

}  // namespace

std::string_view LoadString(int id) {
  const auto* it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                    [](const StringRow& row, int key) { return row.id < key; });
  if (it == std::end(kStrings) || it->id != id) return {};
  return it->text;
}

int StringTableSize() { return static_cast<int>(std::size(kStrings)); }

int StringTableIdAt(int position) {
  if (position < 0 || position >= StringTableSize()) return -1;
  return kStrings[position].id;
}

}  // namespace tallimor
