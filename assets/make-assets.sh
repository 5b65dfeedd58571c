#!/usr/bin/env bash
# Regenerates every asset in this folder: the eleven voice cues (espeak-ng's
# Mandarin voice, encoded to MP3 by lame), the cursor and the busy animation.
# The results are committed; the build only copies them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
need=()
for p in espeak-ng lame libgd-dev g++; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then apt-get update -qq && apt-get install -y -qq "${need[@]}" >/dev/null; fi

# Cue file name -> what it says.
declare -A cues=(
  [欢迎使用]="欢迎使用"
  [正在查询]="正在查询，请稍候"
  [查询成功]="查询成功"
  [请正确输入]="请正确输入"
  [查询失败]="查询失败"
  [复制信息成功]="复制信息成功"
  [截图成功]="截图成功"
  [已放弃截图]="已放弃截图"
  [使用说明]="使用说明。输入序列号，选择综合查询或官网查询，然后按查询。"
  [图片未保存]="查到了，但图片没有保存"
  [需要您操作]="需要您操作，请看弹出的窗口"
)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$here/mp3"
for name in "${!cues[@]}"; do
  espeak-ng -v cmn -s 150 -w "$tmp/cue.wav" "${cues[$name]}"
  lame --quiet -m m -b 48 --resample 22.05 "$tmp/cue.wav" "$here/mp3/$name.mp3"
done

g++ -std=c++20 -O2 -o "$tmp/make_images" "$here/tools/make_images.cpp" -lgd
"$tmp/make_images" "$here/cursor.png" "$here/busy.gif"
echo "assets written to $here"
