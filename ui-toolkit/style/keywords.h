// The keywords of properties that take one of a fixed set of words, as the
// property table (css/properties.inc) names them.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "common/text.h"
#include "css/stylesheet.h"
#include "style/computed.h"

namespace ostrel::style {

template <class E>
struct Keyword {
  std::string_view name;
  E value;
};

// The value of the identifier `t` in `table`, ASCII case-insensitive.
template <class E, std::size_t N>
std::optional<E> find_keyword(const css::Token* t, const Keyword<E> (&table)[N]) {
  if (!t || t->type != css::TokenType::ident) return std::nullopt;
  for (const auto& k : table)
    if (vx::iequals_ascii(t->text, k.name)) return k.value;
  return std::nullopt;
}

inline constexpr Keyword<Display> displays[] = {
    {"none", Display::none},
    {"block", Display::block},
    {"inline", Display::inline_},
    {"inline-block", Display::inline_block},
    {"flex", Display::flex},
    {"inline-flex", Display::inline_flex},
    {"list-item", Display::list_item},
    {"contents", Display::contents},
    {"table", Display::table},
    {"inline-table", Display::inline_table},
    {"table-row-group", Display::table_row_group},
    {"table-header-group", Display::table_header_group},
    {"table-footer-group", Display::table_footer_group},
    {"table-row", Display::table_row},
    {"table-cell", Display::table_cell},
    {"table-column", Display::table_column},
    {"table-column-group", Display::table_column_group},
    {"table-caption", Display::table_caption},
    {"flow-root", Display::block},
    {"grid", Display::block},
    {"inline-grid", Display::inline_block},
};
inline constexpr Keyword<Position> positions[] = {
    {"static", Position::static_}, {"relative", Position::relative}, {"absolute", Position::absolute},
    {"fixed", Position::fixed},    {"sticky", Position::sticky},     {"-webkit-sticky", Position::sticky}};
inline constexpr Keyword<BorderStyle> border_styles[] = {
    {"none", BorderStyle::none},     {"hidden", BorderStyle::hidden}, {"solid", BorderStyle::solid},
    {"dashed", BorderStyle::dashed}, {"dotted", BorderStyle::dotted}, {"double", BorderStyle::double_},
    {"groove", BorderStyle::groove}, {"ridge", BorderStyle::ridge},   {"inset", BorderStyle::inset},
    {"outset", BorderStyle::outset}};
inline constexpr Keyword<Overflow> overflows[] = {{"visible", Overflow::visible}, {"hidden", Overflow::hidden},
                                                  {"clip", Overflow::clip},       {"scroll", Overflow::scroll},
                                                  {"auto", Overflow::auto_},      {"overlay", Overflow::auto_}};
inline constexpr Keyword<WhiteSpace> white_spaces[] = {
    {"normal", WhiteSpace::normal},     {"nowrap", WhiteSpace::nowrap},     {"pre", WhiteSpace::pre},
    {"pre-wrap", WhiteSpace::pre_wrap}, {"pre-line", WhiteSpace::pre_line}, {"break-spaces", WhiteSpace::break_spaces}};
inline constexpr Keyword<TextAlign> text_aligns[] = {
    {"start", TextAlign::start},          {"left", TextAlign::left},       {"right", TextAlign::right},
    {"center", TextAlign::center},        {"justify", TextAlign::justify}, {"end", TextAlign::end},
    {"-webkit-center", TextAlign::center}};
inline constexpr Keyword<VerticalAlign> vertical_aligns[] = {
    {"baseline", VerticalAlign::baseline}, {"middle", VerticalAlign::middle},
    {"top", VerticalAlign::top},           {"bottom", VerticalAlign::bottom},
    {"text-top", VerticalAlign::text_top}, {"text-bottom", VerticalAlign::text_bottom},
    {"sub", VerticalAlign::sub},           {"super", VerticalAlign::super}};
inline constexpr Keyword<Cursor> cursors[] = {{"auto", Cursor::auto_},
                                              {"default", Cursor::default_},
                                              {"pointer", Cursor::pointer},
                                              {"text", Cursor::text},
                                              {"move", Cursor::move},
                                              {"not-allowed", Cursor::not_allowed},
                                              {"col-resize", Cursor::col_resize},
                                              {"row-resize", Cursor::row_resize},
                                              {"wait", Cursor::wait},
                                              {"progress", Cursor::progress},
                                              {"help", Cursor::help},
                                              {"crosshair", Cursor::crosshair},
                                              {"grab", Cursor::grab},
                                              {"ew-resize", Cursor::ew_resize},
                                              {"ns-resize", Cursor::ns_resize}};
inline constexpr Keyword<ObjectFit> object_fits[] = {{"fill", ObjectFit::fill},
                                                     {"contain", ObjectFit::contain},
                                                     {"cover", ObjectFit::cover},
                                                     {"none", ObjectFit::none},
                                                     {"scale-down", ObjectFit::scale_down}};
inline constexpr Keyword<FlexDirection> flex_directions[] = {{"row", FlexDirection::row},
                                                             {"row-reverse", FlexDirection::row_reverse},
                                                             {"column", FlexDirection::column},
                                                             {"column-reverse", FlexDirection::column_reverse}};
inline constexpr Keyword<FlexWrap> flex_wraps[] = {
    {"nowrap", FlexWrap::nowrap}, {"wrap", FlexWrap::wrap}, {"wrap-reverse", FlexWrap::wrap_reverse}};
inline constexpr Keyword<Align> aligns[] = {{"auto", Align::auto_},
                                            {"normal", Align::normal},
                                            {"stretch", Align::stretch},
                                            {"flex-start", Align::flex_start},
                                            {"flex-end", Align::flex_end},
                                            {"center", Align::center},
                                            {"baseline", Align::baseline},
                                            {"space-between", Align::space_between},
                                            {"space-around", Align::space_around},
                                            {"space-evenly", Align::space_evenly},
                                            {"start", Align::start},
                                            {"end", Align::end},
                                            {"self-start", Align::flex_start},
                                            {"self-end", Align::flex_end},
                                            {"left", Align::flex_start},
                                            {"right", Align::flex_end}};
inline constexpr Keyword<Visibility> visibilities[] = {
    {"visible", Visibility::visible}, {"hidden", Visibility::hidden}, {"collapse", Visibility::collapse}};
inline constexpr Keyword<ListStyle> list_styles[] = {{"none", ListStyle::none},
                                                     {"disc", ListStyle::disc},
                                                     {"circle", ListStyle::circle},
                                                     {"square", ListStyle::square},
                                                     {"decimal", ListStyle::decimal}};
inline constexpr Keyword<BoxSizing> box_sizings[] = {{"content-box", BoxSizing::content_box},
                                                     {"border-box", BoxSizing::border_box}};
// Two-way properties kept as a flag (text_overflow_ellipsis, italic,
// table_layout_fixed, border_collapse).
inline constexpr Keyword<bool> text_overflows[] = {{"ellipsis", true}, {"clip", false}};
inline constexpr Keyword<bool> font_styles[] = {{"italic", true}, {"oblique", true}, {"normal", false}};
inline constexpr Keyword<bool> table_layouts[] = {{"fixed", true}, {"auto", false}};
inline constexpr Keyword<bool> border_collapses[] = {{"collapse", true}, {"separate", false}};
// Text is selected only inside text boxes, where user-select does not reach:
// everywhere else the toolkit behaves as "none", which is what "auto" comes to
// for content that is not editable. "text", "all" and "contain" would promise
// a selection that never happens, so they are not valid here.
inline constexpr Keyword<bool> user_selects[] = {{"none", false}, {"auto", false}};

}  // namespace ostrel::style
