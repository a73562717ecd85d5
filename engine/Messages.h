#pragma once

namespace engine::messages {

inline constexpr char16_t Starting[] = u"リプレース開始...";
inline constexpr char16_t Replacing[] = u"リプレース中...  ";
inline constexpr char16_t Finished[] = u"リプレース完了。";
inline constexpr char16_t DefinitionNotFound[] = u"【エラー】 リプレース定義が見つかりません。";
inline constexpr char16_t DefinitionNotPaired[]
    = u"【エラー】 リプレース定義が対になっていません。";
inline constexpr char16_t NoFileSystemObject[] = u"【エラー】 FileSystemObject が使用できません。";
inline constexpr char16_t FoldersOverlap[]
    = u"【エラー】 NEW ソースフォルダが ORG ソースフォルダと重なっています。";
inline constexpr char16_t OrgFolderNotFound[] = u"【エラー】 ORG ソースフォルダが見つかりません。";
inline constexpr char16_t NewFolderNotFound[] = u"【エラー】 NEW ソースフォルダが見つかりません。";
inline constexpr char16_t FilesNotHandled[] = u"【エラー】 処理できなかったファイルがあります。";
inline constexpr char16_t DefinitionTooLarge[] = u"【エラー】 リプレース定義が大きすぎます。";

} // namespace engine::messages
